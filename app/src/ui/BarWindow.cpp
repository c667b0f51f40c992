#include "BarWindow.h"

#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "BarAccessible.h"
#include "Help.h"
#include "Trace.h"

namespace brevon {

namespace {

constexpr int kBarWidth = 401;
constexpr int kBarHeight = 41;
constexpr int kDragTickMs = 100;

struct ButtonPlace {
    const char* name; // the control's and its pictures' name
    QRect geometry;
    bool hasDisabledLook;
};

// In BarButton order.
constexpr std::array<ButtonPlace, kBarButtonCount> kButtons{{
    {"imgPlay", QRect(122, 8, 24, 18), true},
    {"imgPauze", QRect(152, 8, 27, 18), true},
    {"imgStop", QRect(185, 8, 23, 18), true},
    {"imgBack", QRect(215, 8, 26, 18), true},
    {"imgFor", QRect(246, 8, 25, 18), true},
    {"imgInstel", QRect(297, 4, 77, 11), false},
    {"imgHelp", QRect(334, 17, 40, 11), false},
}};

struct ReadingItem {
    const char* name; // the tray menu item's
    const char* caption;
    void (MailOps::*operation)();
};

// In BarButton order.
constexpr std::array<ReadingItem, kReadingButtonCount> kReadingItems{{
    {"Leesvoor1", "Voor&lezen", &MailOps::PlayMessage},
    {"Pauzeervoorlezen1", "&Pauze", &MailOps::PauseReading},
    {"stop1", "S&toppen", &MailOps::StopReading},
    {"Vorigebericht1", "Vo&rige bericht", &MailOps::PreviousMessage},
    {"Volgendebericht1", "Vo&lgende bericht", &MailOps::NextMessage},
}};

QPolygon Outline(std::initializer_list<int> coordinates) {
    QPolygon polygon;
    for (auto it = coordinates.begin(); it != coordinates.end(); it += 2)
        polygon << QPoint(*it, *(it + 1));
    return polygon;
}

// One of the bar's pictures, drawn for the screen's pixel density: on a scaled screen the
// picture rendered at twice the design's size (Qt reads its pixel ratio from the "@2x" name),
// so the skin stays sharp, keeps its 401 x 41 layout and is only ever scaled down.
QPixmap Picture(const QString& name, qreal pixelRatio) {
    if (pixelRatio > 1.0) {
        QPixmap sharp(":/images/" + name + "@2x.png");
        if (!sharp.isNull()) return sharp;
    }
    return QPixmap(":/images/" + name + ".png");
}

QString FromAscii(const std::string& text) {
    return QString::fromLatin1(text);
}

} // namespace

ReadingActions::ReadingActions(QObject* owner) {
    for (int i = 0; i < kReadingButtonCount; ++i) {
        const ReadingItem& item = kReadingItems[i];
        actions_[i] = new QAction(QString::fromLatin1(item.caption), owner);
        actions_[i]->setObjectName(item.name);
        QObject::connect(actions_[i], &QAction::triggered, owner, [this, &item] {
            if (mail_) (mail_->*item.operation)();
        });
    }
    readAll_ = new QAction(QStringLiteral("&Alles voorlezen"), owner);
    readAll_->setObjectName("Allesvoorlezen1");
    QObject::connect(readAll_, &QAction::triggered, owner, [this] {
        if (mail_) mail_->ReadAll();
    });
}

QAction* ReadingActions::Action(BarButton button) const {
    const int i = static_cast<int>(button);
    return i < kReadingButtonCount ? actions_[i] : nullptr;
}

PictureControl::PictureControl(QWidget* parent, const QString& name, QRect geometry)
    : QLabel(parent) {
    setObjectName(name);
    setGeometry(geometry);
    setMouseTracking(true);
}

void PictureControl::SetFocusMark(bool on) {
    focusMark_ = on;
    update();
}

void PictureControl::paintEvent(QPaintEvent*) {
    const QPixmap picture = pixmap();
    QPainter painter(this);
    // A picture finer than the screen (a 1.5 scale shows the doubled one) is scaled down smoothly.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!picture.isNull()) painter.drawPixmap(0, 0, picture);
    if (FocusMarkShown()) {
        // Dots of black on white: seen on every part of the skin, light or dark.
        const QRect mark = rect().adjusted(0, 0, -1, -1);
        painter.setPen(QPen(Qt::white, 1));
        painter.drawRect(mark);
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.drawRect(mark);
    }
}

void PictureControl::focusInEvent(QFocusEvent* event) {
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
        reason == Qt::ShortcutFocusReason)
        emit focusedByKey();
    update();
}

void PictureControl::focusOutEvent(QFocusEvent*) {
    update();
}

void PictureControl::mousePressEvent(QMouseEvent* event) {
    emit pressed(event->button(), event->modifiers(), mapTo(window(), event->position().toPoint()));
}

void PictureControl::mouseReleaseEvent(QMouseEvent* event) {
    emit released(event->button());
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void PictureControl::mouseMoveEvent(QMouseEvent*) {
    emit moved();
}

std::array<QPolygon, 3> TfrmBrevon::PanelOutlines() {
    return {
        Outline({1,   5,   3,   5,   3, 3,   5,  3,   5,  1,   102, 1,   102, 2,   103,
                 2,   103, 4,   104, 4, 104, 29, 103, 29, 103, 31,  102, 31,  102, 32,
                 100, 32,  100, 33,  4, 33,  4,  32,  2,  32,  2,   31,  1,   31}),
        Outline({111, 5,  112, 5,  112, 4,  113, 4,  113, 3,  115, 3,  115, 1,  279, 1,  279, 2,
                 280, 2,  280, 4,  281, 4,  281, 28, 280, 28, 280, 30, 279, 30, 279, 31, 278, 31,
                 278, 32, 276, 32, 276, 33, 114, 33, 114, 32, 112, 32, 112, 31, 111, 31}),
        Outline({289, 5,  290, 5,  290, 4,  291, 4,  291, 3,  292, 3,  292, 2,
                 293, 2,  293, 1,  374, 1,  374, 2,  378, 2,  378, 4,  379, 4,
                 379, 28, 378, 28, 378, 30, 377, 30, 377, 31, 376, 31, 376, 32,
                 374, 32, 374, 33, 292, 33, 292, 32, 290, 32, 290, 31, 289, 31}),
    };
}

TfrmBrevon::TfrmBrevon(Settings& settings, ReadingState& state)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), settings_(settings), actions_(this),
      tmrMail_(this), tmrReadWCHeader_(this), tmrForm_(this),
      bar_(*this, tmrMail_, tmrReadWCHeader_, settings, state), speechTarget_(this) {
    setObjectName("frmBrevon");
    setWindowTitle("Brevon");
    setMouseTracking(true);

    Image1 = new PictureControl(this, "Image1", QRect(0, 0, kBarWidth, kBarHeight));
    connect(Image1, &PictureControl::moved, this, [this] {
        if (dragging_) MoveWithMouse();
        bar_.HoverButton("none");
    });
    connect(Image1, &PictureControl::pressed, this,
            [this](Qt::MouseButton, Qt::KeyboardModifiers, QPoint at) { StartDrag(at); });
    connect(Image1, &PictureControl::released, this, [this](Qt::MouseButton) { EndDrag(); });

    std::array<PictureControl*, kBarButtonCount> controls{};
    for (int i = 0; i < kBarButtonCount; ++i) {
        const ButtonPlace& place = kButtons[i];
        const QString name = QString::fromLatin1(place.name);
        controls[i] = new PictureControl(this, name, place.geometry);
        const auto button = static_cast<BarButton>(i);
        connect(controls[i], &PictureControl::moved, this,
                [this, button] { bar_.HoverButton(HoverName(button)); });
        // Focus for the keyboard: a click or Tab gives it; the mark shows once keys are used.
        controls[i]->setFocusPolicy(Qt::StrongFocus);
        connect(controls[i], &PictureControl::focusedByKey, this, [this] { ShowFocusMark(true); });
        connect(controls[i], &PictureControl::pressed, this, [this] { ShowFocusMark(false); });
    }
    connect(Image1, &PictureControl::pressed, this, [this] { ShowFocusMark(false); });
    imgPlay = controls[0];
    imgPauze = controls[1];
    imgStop = controls[2];
    imgBack = controls[3];
    imgFor = controls[4];
    imgInstel = controls[5];
    imgHelp = controls[6];
    RenderSkin();

    for (int i = 0; i < kReadingButtonCount; ++i) {
        QAction* action = actions_.Action(static_cast<BarButton>(i));
        connect(controls[i], &PictureControl::clicked, action, &QAction::trigger);
        PictureControl* control = controls[i];
        connect(action, &QAction::enabledChanged, control,
                [control] { AnnounceEnabledChange(control); });
    }
    for (BarButton jumper : {BarButton::Back, BarButton::Forw}) {
        connect(Control(jumper), &PictureControl::pressed, this,
                [this, jumper](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint) {
                    if (button == Qt::LeftButton && (modifiers & Qt::ControlModifier))
                        bar_.JumpPress(jumper);
                });
    }
    connect(imgInstel, &PictureControl::clicked, this, [this] { bar_.ShowOptions(); });
    connect(imgHelp, &PictureControl::clicked, this, [this] { ShowHelp(); });

    // The bar is disabled while the options dialog is open (its fields may be half-edited, and
    // its OK runs a check of its own); the end of a reading can restart the timer meanwhile.
    tmrMail_.OnTick(this, [this] {
        if (isEnabled()) bar_.MailTimerTick();
    });
    tmrReadWCHeader_.OnTick(this, [this] { bar_.HeaderTimerTick(); });
    connect(&tmrForm_, &QTimer::timeout, this, [this] { MoveWithMouse(); });

    bar_.SetTrace([](std::string_view line) { Trace(line); });
    InstallBarAccessibility();

    // Creation: the shape, the buttons disabled, the mail timer on, the place, flags and hints.
    ShapeWindow();
    bar_.Create();
    move(settings_.X, settings_.Y);
}

TfrmBrevon::~TfrmBrevon() = default;

PictureControl* TfrmBrevon::Control(BarButton button) const {
    switch (button) {
    case BarButton::Play:
        return imgPlay;
    case BarButton::Pauze:
        return imgPauze;
    case BarButton::Stop:
        return imgStop;
    case BarButton::Back:
        return imgBack;
    case BarButton::Forw:
        return imgFor;
    case BarButton::Instel:
        return imgInstel;
    case BarButton::Help:
        return imgHelp;
    }
    return nullptr;
}

QRegion TfrmBrevon::ShapeRegion() const {
    QRegion shape;
    for (const QPolygon& panel : PanelOutlines())
        shape += QRegion(panel, Qt::WindingFill);
    for (const QObject* child : children()) {
        const auto* widget = qobject_cast<const QWidget*>(child);
        if (!widget || widget == Image1 || widget->isHidden()) continue;
        shape += widget->geometry();
    }
    return shape;
}

void TfrmBrevon::ShapeWindow() {
    setFixedSize(kBarWidth, kBarHeight);
    setMask(ShapeRegion());
}

void TfrmBrevon::RenderSkin() {
    // Buttons, hit areas and the shape stay in the design's pixels; Qt scales them with the
    // window, and only the pictures need drawing anew.
    skinRatio_ = devicePixelRatioF();
    Image1->setPixmap(Picture("bar", skinRatio_));
    for (int i = 0; i < kBarButtonCount; ++i) {
        const QString name = QString::fromLatin1(kButtons[i].name);
        looks_[i][0] = Picture(name + "_n", skinRatio_);
        looks_[i][1] = Picture(name + "_h", skinRatio_);
        if (kButtons[i].hasDisabledLook) looks_[i][2] = Picture(name + "_s", skinRatio_);
        if (shown_[i]) ShowLook(static_cast<BarButton>(i), *shown_[i]);
    }
}

void TfrmBrevon::ShowLook(BarButton button, Look look) {
    const int i = static_cast<int>(button);
    const QPixmap& picture = looks_[i][static_cast<int>(look)];
    PictureControl* control = Control(button);
    if (picture.isNull()) {
        control->clear();
        shown_[i].reset();
    } else {
        control->setPixmap(picture);
        shown_[i] = look;
    }
    control->repaint();
}

void TfrmBrevon::SetButtonHint(BarButton button, const std::string& text) {
    // An empty hint lets the bar's own hint show through.
    PictureControl* control = Control(button);
    const QString hint = FromAscii(text);
    if (control->toolTip() == hint) return;
    control->setToolTip(hint);
    AnnounceDescriptionChange(control);
}

void TfrmBrevon::SetBarHint(const std::string& text) {
    setToolTip(FromAscii(text));
}

void TfrmBrevon::SetMenuItemEnabled(BarButton button, bool enabled) {
    if (QAction* action = actions_.Action(button)) action->setEnabled(enabled);
    if (button == BarButton::Play) actions_.ReadAllAction()->setEnabled(enabled);
}

void TfrmBrevon::StartDrag(QPoint grab) {
    setCursor(Qt::SizeAllCursor);
    grab_ = grab;
    dragging_ = true;
    tmrForm_.start(kDragTickMs);
}

void TfrmBrevon::MoveWithMouse() {
    if (!dragging_) return;
    move(QCursor::pos() - grab_);
    raise();
    show();
}

void TfrmBrevon::EndDrag() {
    unsetCursor();
    tmrForm_.stop();
    dragging_ = false;
    emit dragEnded();
}

std::optional<BarButton> TfrmBrevon::ButtonOf(const QWidget* control) const {
    for (int i = 0; i < kBarButtonCount; ++i) {
        const auto button = static_cast<BarButton>(i);
        if (control && Control(button) == control) return button;
    }
    return std::nullopt;
}

QString TfrmBrevon::ButtonName(BarButton button) const {
    QString caption;
    switch (button) {
    case BarButton::Instel:
        caption = QStringLiteral("&Instellingen");
        break;
    case BarButton::Help:
        caption = QStringLiteral("&Help");
        break;
    default:
        caption = actions_.Action(button)->text();
        break;
    }
    return caption.remove(QLatin1Char('&'));
}

void TfrmBrevon::Press(BarButton button) {
    switch (button) {
    case BarButton::Instel:
        bar_.ShowOptions();
        break;
    case BarButton::Help:
        ShowHelp();
        break;
    default:
        // The action refuses while it is disabled, as the button and its tray item do.
        actions_.Action(button)->trigger();
        break;
    }
}

void TfrmBrevon::TakeKeyboardFocus() {
    show();
    raise();
    activateWindow();
    QWidget* focused = focusWidget();
    if (!ButtonOf(focused)) focused = imgPlay;
    focused->setFocus(Qt::OtherFocusReason);
    ShowFocusMark(true);
}

void TfrmBrevon::MoveFocus(int step) {
    const std::optional<BarButton> focused = ButtonOf(focusWidget());
    const int from = focused ? static_cast<int>(*focused) : 0;
    const int to = (from + step + kBarButtonCount) % kBarButtonCount;
    Control(static_cast<BarButton>(to))->setFocus(Qt::OtherFocusReason);
}

void TfrmBrevon::ShowFocusMark(bool on) {
    for (int i = 0; i < kBarButtonCount; ++i)
        Control(static_cast<BarButton>(i))->SetFocusMark(on);
}

void TfrmBrevon::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if ((key == Qt::Key_Menu && modifiers == Qt::NoModifier) ||
        (key == Qt::Key_F10 && modifiers == Qt::ShiftModifier)) {
        // The menu hangs below the bar, where the eye (or magnifier) already is.
        emit menuAsked(mapToGlobal(QPoint(0, height())));
        return;
    }
    const std::optional<BarButton> focused = ButtonOf(focusWidget());
    // Shift with back or forward moves by paragraph within the text being read: Shift+Left
    // and Shift+Right anywhere on the bar, Shift+Space or Shift+Enter on those two buttons.
    if (focused && mail_ && modifiers == Qt::ShiftModifier) {
        const bool press = key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
        if (key == Qt::Key_Left || (press && *focused == BarButton::Back)) {
            mail_->PreviousParagraph();
            return;
        }
        if (key == Qt::Key_Right || (press && *focused == BarButton::Forw)) {
            mail_->NextParagraph();
            return;
        }
    }
    if (!focused || modifiers != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        MoveFocus(-1);
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        MoveFocus(1);
        break;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Press(*focused);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    ShowFocusMark(true);
}

void TfrmBrevon::ShowHelp() {
    ShowHelpTopic(0);
}

bool TfrmBrevon::event(QEvent* event) {
    if (event->type() == SpeechEndEvent::EventType()) {
        // A body reading that PlayMessage handed to the engine has ended.
        if (mail_) mail_->BodySpoken();
        return true;
    }
    const bool handled = QWidget::event(event);
    // On another screen (or shown first on one of another density than the primary): the
    // skin drawn for its density, and the shape handed to the window system again in its
    // pixels (the same region in the design's pixels would be taken as no change).
    if ((event->type() == QEvent::ScreenChangeInternal || event->type() == QEvent::Show) &&
        devicePixelRatioF() != skinRatio_) {
        RenderSkin();
        clearMask();
        setMask(ShapeRegion());
    }
    return handled;
}

void TfrmBrevon::closeEvent(QCloseEvent* event) {
    // The bar has no close button; a close from the desktop hides it as the tray toggle does.
    event->ignore();
    emit hideAsked();
}

} // namespace brevon
