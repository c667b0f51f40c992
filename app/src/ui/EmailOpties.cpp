#include "EmailOpties.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <span>
#include <utility>
#include <string>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <mail/ReadingState.h>
#include <mail/Seams.h>

#include "Cp1252.h"
#include "GlobalKeyBindings.h"
#include "Help.h"
#include "Trace.h"

namespace brevon {

namespace {

QString Q(std::string_view cp1252) {
    return FromCp1252(cp1252);
}

// What OK shows while its steps run.
constexpr const char* kWaitCaption = "Wacht...";

// How often OK looks again whether the mail side has finished talking to the server.
constexpr int kOkRetryMs = 50;

// The dialog is drawn on a grid of 288 x 270 units. One unit is one pixel unless the captions
// in the current font need more room, in which case every position and size grows by the same
// factor (see LayOut).
constexpr int kDesignWidth = 288;
constexpr int kDesignHeight = 270;
constexpr int kDesignTabsHeight = 233;
constexpr int kGap = 4;      // between the parts of a sentence row, in pixels
constexpr int kLabelGap = 6; // between a field and its name on the left

// The number fields' text, as the fields' rule reads it: what was typed, also when it is not
// (yet) a valid value.
std::string NumberText(const QSpinBox* field) {
    return ToCp1252(field->cleanText());
}

// Makes a control under its parent (none: a page, which its tab widget takes), named as its
// member so the rest of the program and the tests find it by that name.
template <typename T, typename... Args>
void Create(T*& member, const char* name, QWidget* parent, Args&&... args) {
    member = new T(std::forward<Args>(args)..., parent);
    member->setObjectName(QLatin1String(name));
}

// How a row's name is placed beside its control.
enum class NameAt {
    None,   // the control carries its own caption, or has none
    Before, // right-aligned, kLabelGap before the control, and 4 units from the page's edge
    Margin, // at 19 units on the row's middle, ending 6 units before the control
    Groove, // as Margin, but level with the slider's groove, which the ticks below push up
    Lead,   // the words a sentence starts with: where the row starts, the control kGap after
};

// How a control takes its box on the grid.
enum class Sizing {
    Fixed,   // the box itself, from its top (the buttons)
    Field,   // the box's width; at least its height, on the box's middle
    AtLeast, // at least the box, on its middle (the number fields, the port)
    Fill,    // the room left before the row's next part; at least the box's height
    Own,     // its own size, on the box's middle (a sentence's last words, a bare checkbox)
    Box,     // its own width, at least the box's height, from its top (the checkboxes)
};

// Where a row starts across the page.
struct Across {
    enum Kind { At, After, EndAt } kind;
    double units; // At: the left edge; EndAt: the right edge
};
constexpr Across At(double units) {
    return {Across::At, units};
}
constexpr Across EndAt(double units) {
    return {Across::EndAt, units};
}
constexpr Across kAfter{Across::After, 0}; // kGap after the row before it on the same line

// One control on its page: its name, where it goes, and its box in design units.
struct Row {
    QWidget* control;
    QLabel* name;
    NameAt nameAt;
    Across across;
    double top;
    double width;
    double height;
    Sizing sizing;
};

// The slider's groove, which its name goes with, in the slider's coordinates.
QRect Groove(const QSlider* slider) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = Qt::Horizontal;
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.tickPosition = slider->tickPosition();
    option.tickInterval = slider->tickInterval();
    option.rect = QRect(QPoint(0, 0), slider->size());
    return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove,
                                           slider);
}

// What a control would take by itself: a label the size it was adjusted to, else its hint.
QSize OwnSize(const QWidget* w) {
    return qobject_cast<const QLabel*>(w) ? w->size() : w->sizeHint();
}

// Whether the button is wide enough for its caption, and for the one OK shows while it works.
bool CaptionsFit(const QPushButton* button, bool waits) {
    for (const QString& caption : {button->text(), waits ? Q(kWaitCaption) : QString()}) {
        // Measured on a button like it: a default button's frame takes room in some styles.
        QPushButton probe(caption);
        probe.setFont(button->font());
        probe.setAutoDefault(button->autoDefault());
        probe.setDefault(button->isDefault());
        if (probe.sizeHint().width() > button->width()) return false;
    }
    return true;
}

// Design units in pixels at scale factor f.
struct Scale {
    double f;
    int operator()(double units) const { return static_cast<int>(std::lround(units * f)); }
};

// Places the row's control and its name; before: the row placed just before it.
void Place(const Row& row, const Row* before, Scale s) {
    QWidget* const c = row.control;
    const QSize own = OwnSize(c);
    const int height = std::max(s(row.height), own.height());
    // Rows are aligned on their middle: the grid's labels sat a few units below their fields.
    const int middle = s(row.top + row.height / 2);
    const auto place = [c, middle](int x, QSize size) {
        c->setGeometry(x, middle - size.height() / 2, size.width(), size.height());
    };
    const auto placeName = [&row](int x, int level) {
        row.name->move(x, level - row.name->height() / 2);
    };
    int x = row.across.kind == Across::After ? before->control->geometry().right() + 1 + kGap
                                             : s(row.across.units);
    if (row.nameAt == NameAt::Lead) {
        placeName(x, middle);
        x = row.name->geometry().right() + 1 + kGap;
    }
    switch (row.sizing) {
    case Sizing::Fixed:
        c->setGeometry(x, s(row.top), s(row.width), s(row.height));
        break;
    case Sizing::Box:
        c->setGeometry(x, s(row.top), own.width(), height);
        break;
    case Sizing::Field:
        place(x, {s(row.width), height});
        break;
    case Sizing::Own:
        place(x, own);
        break;
    case Sizing::AtLeast: {
        const int width = std::max(s(row.width), own.width());
        place(row.across.kind == Across::EndAt ? x - width : x, {width, height});
        break;
    }
    case Sizing::Fill: {
        // Up to the part placed just before it, which stands on its right.
        const QWidget* right = before->name ? before->name : before->control;
        place(x, {right->x() - kGap - x, height});
        break;
    }
    }
    switch (row.nameAt) {
    case NameAt::Before:
        // Right-aligned against its field, whatever the font makes of its width.
        placeName(c->x() - kLabelGap - row.name->width(), middle);
        break;
    case NameAt::Margin:
        placeName(s(19), middle);
        break;
    case NameAt::Groove:
        placeName(s(19), c->y() + Groove(qobject_cast<QSlider*>(c)).center().y());
        break;
    case NameAt::None:
    case NameAt::Lead:
        break;
    }
}

// Whether the placed row fits: buttons and filled fields are wide enough for what they show,
// names keep to their columns, what follows its content ends 8 units before the area's right
// edge, and a row leaves 2 pixels to the next row (at nextTop, in design units) or the bottom.
bool Fits(const Row& row, std::optional<double> nextTop, QSize area, const QWidget* waiting,
          Scale s) {
    const QWidget* const c = row.control;
    const QRect box = c->geometry();
    if (row.sizing == Sizing::Fixed &&
        !CaptionsFit(qobject_cast<const QPushButton*>(c), c == waiting))
        return false;
    if (row.sizing == Sizing::Fill && box.width() < OwnSize(c).width()) return false;
    if (row.nameAt == NameAt::Before && row.name->x() < s(4)) return false;
    if ((row.nameAt == NameAt::Margin || row.nameAt == NameAt::Groove) &&
        row.name->geometry().right() + 1 + s(6) > box.x())
        return false;
    const bool followsContent =
        row.across.kind != Across::EndAt &&
        (row.sizing == Sizing::Own || row.sizing == Sizing::AtLeast || row.sizing == Sizing::Box);
    if (followsContent && box.right() + 1 > area.width() - s(8)) return false;
    if (nextTop && box.height() + 2 > s(*nextTop - row.top)) return false;
    return box.bottom() + 1 + 2 <= area.height();
}

// Places a page's rows, top to bottom, on an area of the given size; true when all of them fit.
bool PlaceRows(std::span<const Row> rows, QSize area, const QWidget* waiting, Scale s) {
    for (std::size_t i = 0; i < rows.size(); ++i)
        Place(rows[i], i > 0 ? &rows[i - 1] : nullptr, s);
    return std::all_of(rows.begin(), rows.end(), [&](const Row& row) {
        const auto next = std::find_if(rows.begin(), rows.end(),
                                       [&row](const Row& r) { return r.top > row.top; });
        return Fits(row, next != rows.end() ? std::optional(next->top) : std::nullopt, area,
                    waiting, s);
    });
}

} // namespace

TfrmOpties::TfrmOpties(OptiesContext context, QWidget* parent)
    : QDialog(parent), context_(std::move(context)) {
    setObjectName(QStringLiteral("frmOpties"));
    setWindowTitle(Q("Instellingen"));
    setModal(false);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    CreateControls();

    // Creation: the voice list, the captions, the rows.
    for (const VoiceItem& item : kVoiceList)
        ComboBox1->addItem(Q(item.name));
    lblVoice->setVisible(true);
    ComboBox1->setVisible(true);
    SetCaptions();
    LayOut();
    SetTabOrder();
    PlaceAt(context_.settings.XI, context_.settings.YI);
}

TfrmOpties::~TfrmOpties() = default;

void TfrmOpties::CreateControls() {
    Create(pcInfo, "pcInfo", this);
    Create(tsHost, "tsHost", nullptr);
    Create(tsParameters, "tsParameters", nullptr);
    Create(tsAlgemeen, "tsAlgemeen", nullptr);
    pcInfo->addTab(tsHost, Q("Verbinding"));
    pcInfo->addTab(tsParameters, Q("Uitspraak"));
    pcInfo->addTab(tsAlgemeen, Q("Algemeen"));
    tsToetsen = new KeysPage;
    pcInfo->addTab(tsToetsen, Q("Toetsen"));

    Create(lblServer, "lblServer", tsHost);
    Create(EditHost, "EditHost", tsHost);
    Create(lblSecurity, "lblSecurity", tsHost);
    Create(ComboSecurity, "ComboSecurity", tsHost);
    for (const char* choice : {"Geen", "STARTTLS", "SSL/TLS"})
        ComboSecurity->addItem(Q(choice));
    Create(lblPort, "lblPort", tsHost);
    Create(EditPort, "EditPort", tsHost);
    // Digits only; empty means the usual port of the chosen security.
    EditPort->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]{0,5}"), EditPort));
    EditPort->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Create(lblUserName, "lblUserName", tsHost);
    Create(EditUserId, "EditUserId", tsHost);
    Create(lblPassword, "lblPassword", tsHost);
    Create(EditPasswd, "EditPasswd", tsHost);
    EditPasswd->setEchoMode(QLineEdit::Password);
    // Each character of the password shows as '*', whatever the style would choose.
    EditPasswd->setStyleSheet("QLineEdit { lineedit-password-character: 42; }");
    Create(lblIntTime, "lblIntTime", tsHost);
    Create(seIntervalTijd, "seIntervalTijd", tsHost);
    seIntervalTijd->setRange(kIntervalRange.min, kIntervalRange.max);
    Create(lblIntTime2, "lblIntTime2", tsHost);
    Create(cbNumSave, "cbNumSave", tsHost);
    Create(lblNumSave, "lblNumSave", tsHost);
    Create(seNumSave, "seNumSave", tsHost);
    seNumSave->setRange(kNumSaveMailsRange.min, kNumSaveMailsRange.max);
    Create(cbReverse, "cbReverse", tsHost);
    for (QSpinBox* field : {seIntervalTijd, seNumSave}) {
        // Plain digits whatever the user's locale, as the fields' rule reads them.
        field->setLocale(QLocale::c());
        field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }

    Create(lblVoice, "lblVoice", tsParameters);
    Create(ComboBox1, "ComboBox1", tsParameters);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert); // a typed name is not one of the voices
    Create(lblPitch, "lblPitch", tsParameters);
    Create(tbPitch, "tbPitch", tsParameters, Qt::Horizontal);
    Create(lblVolume, "lblVolume", tsParameters);
    Create(tbVolume, "tbVolume", tsParameters, Qt::Horizontal);
    Create(lblTempo, "lblTempo", tsParameters);
    Create(tbTempo, "tbTempo", tsParameters, Qt::Horizontal);
    for (QSlider* slider : {tbPitch, tbVolume, tbTempo}) {
        slider->setRange(kLevelRange.min, kLevelRange.max);
        slider->setSingleStep(1);
        slider->setPageStep(1);
        slider->setTickInterval(1);
        slider->setTickPosition(QSlider::TicksBelow);
    }
    Create(btLexicon, "btLexicon", tsParameters);
    Create(btDefaults, "btDefaults", tsParameters);

    Create(cbSkipInclude, "cbSkipInclude", tsAlgemeen);
    Create(cbUseLid, "cbUseLid", tsAlgemeen);
    Create(cbEigenTaal, "cbEigenTaal", tsAlgemeen);
    Create(cbSemiService9X, "cbSemiService9X", tsAlgemeen);

    Create(btOk, "btOk", this, Q("OK"));
    btOk->setDefault(true);
    Create(btCancel, "btCancel", this, Q("Annuleren"));
    Create(Button1, "Button1", this, Q("Help"));

    // Screen readers and Alt+letter-less keyboards still get each field's name.
    lblServer->setBuddy(EditHost);
    lblSecurity->setBuddy(ComboSecurity);
    lblPort->setBuddy(EditPort);
    lblUserName->setBuddy(EditUserId);
    lblPassword->setBuddy(EditPasswd);
    lblIntTime->setBuddy(seIntervalTijd);
    lblNumSave->setBuddy(seNumSave);
    lblVoice->setBuddy(ComboBox1);
    lblPitch->setBuddy(tbPitch);
    lblVolume->setBuddy(tbVolume);
    lblTempo->setBuddy(tbTempo);

    connect(btOk, &QPushButton::clicked, this, &TfrmOpties::btOkClick);
    connect(btCancel, &QPushButton::clicked, this, &TfrmOpties::btCancelClick);
    connect(Button1, &QPushButton::clicked, this, &TfrmOpties::HelpClick);
    connect(btLexicon, &QPushButton::clicked, this, &TfrmOpties::btLexiconClick);
    connect(btDefaults, &QPushButton::clicked, this, &TfrmOpties::btDefaultsClick);
    connect(cbNumSave, &QCheckBox::toggled, this, &TfrmOpties::cbNumSaveClick);
}

void TfrmOpties::SetCaptions() {
    cbUseLid->setText(Q("Alleen Nederlandstalige berichten voorlezen"));
    cbEigenTaal->setText(Q("Anderstalige berichten in hun eigen taal voorlezen"));
    cbSkipInclude->setText(Q("Aangehaalde tekst niet voorlezen"));
    cbReverse->setText(Q("Berichten van nieuw naar oud geordend"));
    lblIntTime->setText(Q("Elke"));
    lblIntTime2->setText(Q("minuten op nieuwe berichten controleren"));
    lblServer->setText(Q("POP-server"));
    lblSecurity->setText(Q("Beveiliging"));
    lblPort->setText(Q("Poort"));
    lblUserName->setText(Q("Naam"));
    lblPassword->setText(Q("Wachtwoord"));
    lblNumSave->setText(Q("Maximum aantal op te halen berichten"));
    lblPitch->setText(Q("Toonhoogte"));
    lblTempo->setText(Q("Tempo"));
    lblVolume->setText(Q("Volume"));
    lblVoice->setText(Q("Stem"));
    btLexicon->setText(Q("Woordenlijst"));
    btDefaults->setText(Q("Standaardwaarden"));
    cbSemiService9X->setText(Q("Brevon automatisch opstarten"));
    // The box has no caption of its own; its label sits beside it.
    cbNumSave->setAccessibleName(lblNumSave->text());
}

void TfrmOpties::LayOut() {
    for (QLabel* label : findChildren<QLabel*>())
        label->adjustSize();

    using enum NameAt;
    using enum Sizing;
    // Each page top to bottom; a row whose place depends on another comes after it.
    // clang-format off
    const Row verbinding[] = {
        // control       name         name at across      top    width height sizing
        {EditHost,       lblServer,   Before, At(72),     8,     201,  21,    Field},
        // Security and port share the row under the server they belong to; the port field
        // ends where the server field does.
        {EditPort,       lblPort,     Before, EndAt(273), 32,    44,   21,    AtLeast},
        {ComboSecurity,  lblSecurity, Before, At(72),     32,    0,    21,    Fill},
        {EditUserId,     lblUserName, Before, At(72),     56,    201,  21,    Field},
        {EditPasswd,     lblPassword, Before, At(72),     80,    201,  21,    Field},
        {seIntervalTijd, lblIntTime,  Lead,   At(8),      110.5, 40,   21,    AtLeast},
        {lblIntTime2,    nullptr,     None,   kAfter,     110.5, 0,    21,    Own},
        {cbNumSave,      nullptr,     None,   At(8),      142.5, 0,    21,    Own},
        {seNumSave,      lblNumSave,  Lead,   kAfter,     142.5, 50,   21,    AtLeast},
        {cbReverse,      nullptr,     None,   At(8),      181,   0,    17,    Box},
    };
    const Row uitspraak[] = {
        {ComboBox1,  lblVoice,  Margin, At(118), 12,  146, 21, Field},
        {tbPitch,    lblPitch,  Groove, At(110), 44,  160, 25, Field},
        {tbVolume,   lblVolume, Groove, At(110), 76,  160, 25, Field},
        {tbTempo,    lblTempo,  Groove, At(110), 108, 160, 25, Field},
        {btLexicon,  nullptr,   None,   At(12),  144, 105, 25, Fixed},
        {btDefaults, nullptr,   None,   At(163), 144, 105, 25, Fixed},
    };
    const Row algemeen[] = {
        {cbSkipInclude,   nullptr, None, At(8), 8,  0, 17, Box},
        {cbUseLid,        nullptr, None, At(8), 32, 0, 17, Box},
        {cbEigenTaal,     nullptr, None, At(8), 56, 0, 17, Box},
        {cbSemiService9X, nullptr, None, At(8), 80, 0, 17, Box},
    };
    const Row buttons[] = {
        {btOk,     nullptr, None, At(16),  239, 80, 25, Fixed},
        {btCancel, nullptr, None, At(103), 239, 80, 25, Fixed},
        {Button1,  nullptr, None, At(192), 239, 80, 25, Fixed},
    };
    // clang-format on

    // The smallest factor at which every page and the buttons below fit.
    const int tabBarH = pcInfo->tabBar()->sizeHint().height();
    const int frame = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 2;
    const auto placeAll = [&](double f) {
        const Scale s{f};
        const QSize page(s(kDesignWidth) - frame, s(kDesignTabsHeight) - tabBarH - frame);
        const QSize dialog(s(kDesignWidth), s(kDesignHeight));
        const std::pair<std::span<const Row>, QSize> parts[] = {
            {verbinding, page}, {uitspraak, page}, {algemeen, page}, {buttons, dialog}};
        bool fits = true;
        for (const auto& [rows, area] : parts)
            fits = PlaceRows(rows, area, btOk, s) && fits; // every part placed, fit or not
        return fits;
    };
    double f = 1.0;
    while (!placeAll(f) && f < 2.0)
        f += 0.01;
    const Scale s{f};
    setFixedSize(s(kDesignWidth), s(kDesignHeight));
    pcInfo->setGeometry(0, 0, s(kDesignWidth), s(kDesignTabsHeight));
    pcInfo->setCurrentIndex(0);
}

void TfrmOpties::SetTabOrder() {
    QWidget* const order[] = {
        btOk,       btCancel,      Button1,    pcInfo,         EditHost,       ComboSecurity,
        EditPort,   EditUserId,    EditPasswd, seIntervalTijd, cbNumSave,      seNumSave,
        cbReverse,  ComboBox1,     tbPitch,    tbVolume,       tbTempo,        btLexicon,
        btDefaults, cbSkipInclude, cbUseLid,   cbEigenTaal,    cbSemiService9X};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void TfrmOpties::PlaceAt(int x, int y) {
    move(x, y);
    // A place saved on a screen that is gone would leave the dialog out of reach.
    const QRect frame(x, y, width(), height());
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(frame)) return;
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        move(primary->availableGeometry().topLeft() + QPoint(10, 40));
}

void TfrmOpties::LoadOptions() {
    const Settings& settings = context_.settings;
    const OptionsFields fields = FieldsFromSettings(settings);
    EditHost->setText(Q(fields.Host));
    ComboSecurity->setCurrentIndex(ComboSecurity->findText(Q(fields.Security)));
    EditPort->setText(Q(fields.Port));
    EditUserId->setText(Q(fields.User));
    EditPasswd->setText(Q(fields.Password));
    tbTempo->setValue(fields.Tempo);
    tbPitch->setValue(fields.Pitch);
    tbVolume->setValue(fields.Volume);
    seIntervalTijd->setValue(
        NumberFieldValue(fields.Interval, kIntervalRange.min, kIntervalRange.max));
    seNumSave->setValue(
        NumberFieldValue(fields.NumSaveMails, kNumSaveMailsRange.min, kNumSaveMailsRange.max));
    cbNumSave->setChecked(fields.UseNumSaveMails);
    cbNumSaveClick(); // also when the box did not change
    // "From new to old" is the order when "Reverse" is clear.
    cbReverse->setChecked(!fields.Reverse);
    cbUseLid->setChecked(fields.UseLid);
    cbEigenTaal->setChecked(fields.ReadInOwnLanguage);
    cbSkipInclude->setChecked(fields.SkipReply);
    cbSemiService9X->setChecked(fields.SemiService9X);
    ShowVoice(settings.Voice);
    defaultVoice_.reset();
    tsToetsen->Load(settings, context_.keys);
    connectionChanged_ = false;
}

void TfrmOpties::SaveOptions() {
    if (SaveFieldsToSettings(FieldsFromControls(), context_.settings, context_.state))
        connectionChanged_ = true;
}

OptionsFields TfrmOpties::FieldsFromControls() const {
    OptionsFields f;
    f.Host = ToCp1252(EditHost->text());
    f.Security = ToCp1252(ComboSecurity->currentText());
    f.Port = ToCp1252(EditPort->text());
    f.User = ToCp1252(EditUserId->text());
    f.Password = ToCp1252(EditPasswd->text());
    f.Interval = NumberText(seIntervalTijd);
    f.NumSaveMails = NumberText(seNumSave);
    f.UseNumSaveMails = cbNumSave->isChecked();
    f.Reverse = !cbReverse->isChecked();
    f.VoiceText = ToCp1252(ComboBox1->currentText());
    f.VoiceCode = defaultVoice_;
    f.Tempo = tbTempo->value();
    f.Pitch = tbPitch->value();
    f.Volume = tbVolume->value();
    f.SkipReply = cbSkipInclude->isChecked();
    f.UseLid = cbUseLid->isChecked();
    f.ReadInOwnLanguage = cbEigenTaal->isChecked();
    f.SemiService9X = cbSemiService9X->isChecked();
    return f;
}

void TfrmOpties::ShowVoice(std::int32_t code) {
    const int index = VoiceIndex(code);
    ComboBox1->setCurrentIndex(index);
    if (index < 0) ComboBox1->setEditText(QString());
}

void TfrmOpties::cbNumSaveClick() {
    const bool on = cbNumSave->isChecked();
    lblNumSave->setEnabled(on);
    seNumSave->setEnabled(on);
}

void TfrmOpties::btOkClick() {
    if (busy_) return;
    if (context_.mail && context_.mail->SessionOpen()) {
        // The mail side is talking to the server (the dialog was opened meanwhile): OK's steps
        // may change the list and check mail, so they wait until that conversation is over.
        busy_ = true;
        btOk->setText(Q(kWaitCaption));
        btOk->setEnabled(false);
        btCancel->setEnabled(false);
        QTimer::singleShot(kOkRetryMs, this, [this] {
            busy_ = false;
            btOk->setText(Q("OK"));
            btOk->setEnabled(true);
            btCancel->setEnabled(true);
            btOkClick();
        });
        return;
    }
    // A character the stored password cannot hold would silently become '?'.
    bool exact = true;
    (void)ToCp1252(EditPasswd->text(), &exact);
    if (!exact) {
        RefusePassword(kPasswordUnusableCharText);
        return;
    }

    busy_ = true;
    btOk->setText(Q(kWaitCaption));
    btOk->setEnabled(false);
    btCancel->setEnabled(false);
    btOk->repaint(); // the steps may keep the event loop from painting for a while

    OkEnvironment env{
        .settings = context_.settings,
        .state = context_.state,
        .store = context_.store,
        .windows = *this,
        .speech = context_.speech,
        .languageCheck = context_.languageCheck,
        .autostart = context_.autostart,
        .executable =
            context_.autostart
                ? std::filesystem::path(
                      QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString())
                : std::filesystem::path(),
        .mail = context_.mail,
    };
    QPointer<TfrmOpties> self(this);
    const OkOutcome outcome = RunOkSteps(FieldsFromControls(), connectionChanged_, env);
    if (!self) return;

    btOk->setEnabled(true);
    btCancel->setEnabled(true);
    btOk->setText(Q("OK"));
    busy_ = false;
    if (outcome != OkOutcome::PasswordTooLong) ApplyKeys();

    switch (outcome) {
    case OkOutcome::Close:
        accept();
        break;
    case OkOutcome::StayOpen:
        break; // the failed check has put the focus on the faulty field
    case OkOutcome::PasswordTooLong:
        RefusePassword(kPasswordTooLongText);
        break;
    }
}

// The keys are kept beside the values OK's steps apply: stored with them, then taken anew.
void TfrmOpties::ApplyKeys() {
    tsToetsen->Save(context_.settings);
    (void)SaveSettings(context_.store, context_.settings); // silent, as every settings save
    if (context_.keys) context_.keys->Apply();
    tsToetsen->Load(context_.settings, context_.keys);
}

void TfrmOpties::RefusePassword(std::string_view text) {
    context_.speech.Say(nullptr, std::string(text));
    QMessageBox::warning(this, windowTitle(), Q(text));
    pcInfo->setCurrentWidget(tsHost);
    EditPasswd->setFocus(Qt::OtherFocusReason);
    EditPasswd->selectAll();
}

void TfrmOpties::btCancelClick() {
    reject();
}

void TfrmOpties::HelpClick() {
    ShowHelpTopic(2);
}

void TfrmOpties::btLexiconClick() {
    context_.speech.Lexicon(static_cast<QWidget*>(this));
}

void TfrmOpties::btDefaultsClick() {
    EngineDefaults defaults{};
    context_.speech.GetDefaultSettings(defaults.voice, defaults.tempo, defaults.pitch,
                                       defaults.volume);
    OptionsFields fields = FieldsFromControls();
    ApplyEngineDefaults(fields, defaults);
    tbTempo->setValue(fields.Tempo);
    tbPitch->setValue(fields.Pitch);
    tbVolume->setValue(fields.Volume);
    ShowVoice(defaults.voice);
    defaultVoice_ = fields.VoiceCode;
}

void TfrmOpties::SelectConnectionField(bool user) {
    pcInfo->setCurrentWidget(tsHost);
    QLineEdit* field = user ? EditUserId : EditHost;
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
    // The page and the field a failed check leaves the user on, for the GUI tests.
    Trace("Options page " + pcInfo->tabText(pcInfo->currentIndex()).toStdString() + ", focus " +
          field->objectName().toStdString());
}

WindowPosition TfrmOpties::Position() const {
    return {x(), y()};
}

WindowPosition TfrmOpties::BarPosition() const {
    if (context_.barPosition) return context_.barPosition();
    return {context_.settings.X, context_.settings.Y};
}

WindowPosition TfrmOpties::OptionsPosition() const {
    return Position();
}

void TfrmOpties::done(int result) {
    if (busy_) return; // OK closes the dialog itself once its check is over
    const bool wasVisible = isVisible();
    QDialog::done(result);
    if (wasVisible) FormClose();
}

void TfrmOpties::FormClose() {
    if (context_.afterClose) context_.afterClose();
}

} // namespace brevon
