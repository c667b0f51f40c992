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
#include <QFontMetrics>
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

#include <app/AddressPreset.h>
#include <mail/MailPresets.h>
#include <mail/ReadingState.h>
#include <mail/Seams.h>

#include "GlobalKeyBindings.h"
#include "Help.h"
#include "QtText.h"
#include "Trace.h"

namespace brevon {

namespace {

// "Aanmelden bij Microsoft", with Alt+I: the letters before it are taken on "Verbinding".
QString SignInCaption(const std::string& provider);

QString Q(std::string_view cp1252) {
    return FromCp1252(cp1252);
}

QString SignInCaption(const std::string& provider) {
    return Q("Aanmelden b&ij " + provider);
}

// What OK shows while its steps run.
constexpr const char* kWaitCaption = "Wacht...";

// How often OK looks again whether the mail side has finished talking to the server.
constexpr int kOkRetryMs = 50;

// The dialog is drawn on a grid of 288 x 334 units. One unit is one pixel unless the captions
// in the current font need more room, in which case positions and sizes across grow by one
// factor and those down by another (see LayOut): large text needs more room for its words
// than for its lines.
constexpr int kDesignWidth = 288;
constexpr int kDesignHeight = 334;
constexpr int kDesignTabsHeight = 297;
constexpr int kGap = 4;      // between the parts of a sentence row, in pixels
constexpr int kLabelGap = 6; // between a field and its name on the left

// A number field's value as the fields' rule reads what was typed, also when it is not (yet) a
// valid value.
std::int32_t SpinBoxValue(const QSpinBox* field) {
    return NumberFieldValue(ToCp1252(field->cleanText()), field->minimum(), field->maximum());
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

// Whether the button is large enough for its caption, and for the one OK shows while it works.
struct Fit {
    bool across = true;
    bool down = true;
    bool operator()() const { return across && down; }
};
Fit CaptionsFit(const QPushButton* button, bool waits) {
    Fit fit;
    for (const QString& caption : {button->text(), waits ? Q(kWaitCaption) : QString()}) {
        // Measured on a button like it: a default button's frame takes room in some styles.
        QPushButton probe(caption);
        probe.setFont(button->font());
        probe.setAutoDefault(button->autoDefault());
        probe.setDefault(button->isDefault());
        const QSize wanted = probe.sizeHint();
        fit.across = fit.across && wanted.width() <= button->width();
        fit.down = fit.down && wanted.height() <= button->height();
    }
    return fit;
}

// A text field as wide as the digits it takes (a port: five), not as a full text box.
class DigitsField final : public QLineEdit {
public:
    DigitsField(int digits, QWidget* parent) : QLineEdit(parent), digits_(digits) {
        setMaxLength(digits);
    }

    QSize sizeHint() const override {
        // The base hint makes room for 17 'x'; keep its frame and margins and make the room
        // that of the widest run of one digit and the cursor.
        const QSize full = QLineEdit::sizeHint();
        const QFontMetrics metrics(font());
        int text = 0;
        for (char c = '0'; c <= '9'; ++c)
            text = std::max(text, metrics.horizontalAdvance(QString(digits_, QLatin1Char(c))));
        const int room = text + style()->pixelMetric(QStyle::PM_TextCursorWidth);
        return {full.width() - metrics.horizontalAdvance(QLatin1Char('x')) * 17 + room,
                full.height()};
    }

private:
    int digits_;
};

// Design units in pixels at a factor across and one down.
struct Scale {
    double fx;
    double fy;
    int x(double units) const { return static_cast<int>(std::lround(units * fx)); }
    int y(double units) const { return static_cast<int>(std::lround(units * fy)); }
};

// Places the row's control and its name; before: the row placed just before it.
void Place(const Row& row, const Row* before, Scale s) {
    QWidget* const c = row.control;
    const QSize own = OwnSize(c);
    const int height = std::max(s.y(row.height), own.height());
    // Rows are aligned on their middle: the grid's labels sat a few units below their fields.
    const int middle = s.y(row.top + row.height / 2);
    const auto place = [c, middle](int x, QSize size) {
        c->setGeometry(x, middle - size.height() / 2, size.width(), size.height());
    };
    const auto placeName = [&row, c, s](int x, int level) {
        QLabel* name = row.name;
        name->move(x, level - name->height() / 2);
        // A name at the margin may use the room up to its field: drawn glyphs can run a pixel
        // or two past the metrics the label is sized by, and would be cut at its edge.
        if (row.nameAt == NameAt::Margin || row.nameAt == NameAt::Groove)
            name->resize(std::max(name->sizeHint().width(), c->x() - s.x(6) - x), name->height());
    };
    int x = row.across.kind == Across::After ? before->control->geometry().right() + 1 + kGap
                                             : s.x(row.across.units);
    if (row.nameAt == NameAt::Lead) {
        placeName(x, middle);
        x = row.name->geometry().right() + 1 + kGap;
    }
    switch (row.sizing) {
    case Sizing::Fixed:
        c->setGeometry(x, s.y(row.top), s.x(row.width), s.y(row.height));
        break;
    case Sizing::Box:
        c->setGeometry(x, s.y(row.top), own.width(), height);
        break;
    case Sizing::Field:
        place(x, {s.x(row.width), height});
        break;
    case Sizing::Own:
        place(x, own);
        break;
    case Sizing::AtLeast: {
        const int width = std::max(s.x(row.width), own.width());
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
        placeName(s.x(19), middle);
        break;
    case NameAt::Groove:
        placeName(s.x(19), c->y() + Groove(qobject_cast<QSlider*>(c)).center().y());
        break;
    case NameAt::None:
    case NameAt::Lead:
        break;
    }
}

// Whether the placed row fits, across and down: buttons and filled fields are large enough for
// what they show, names keep to their columns, what follows its content ends 8 units before
// the area's right edge, and a row leaves 2 pixels to the next row (at nextTop, in design
// units) or the bottom.
Fit Fits(const Row& row, std::optional<double> nextTop, QSize area, const QWidget* waiting,
         Scale s) {
    const QWidget* const c = row.control;
    const QRect box = c->geometry();
    Fit fit;
    if (row.sizing == Sizing::Fixed)
        fit = CaptionsFit(qobject_cast<const QPushButton*>(c), c == waiting);
    if (row.sizing == Sizing::Fill && box.width() < OwnSize(c).width()) fit.across = false;
    if (row.nameAt == NameAt::Before && row.name->x() < s.x(4)) fit.across = false;
    if ((row.nameAt == NameAt::Margin || row.nameAt == NameAt::Groove) &&
        row.name->x() + row.name->sizeHint().width() + s.x(6) > box.x())
        fit.across = false;
    const bool followsContent =
        row.across.kind != Across::EndAt &&
        (row.sizing == Sizing::Own || row.sizing == Sizing::AtLeast || row.sizing == Sizing::Box);
    if (followsContent && box.right() + 1 > area.width() - s.x(8)) fit.across = false;
    if (nextTop && box.height() + 2 > s.y(*nextTop - row.top)) fit.down = false;
    if (box.bottom() + 1 + 2 > area.height()) fit.down = false;
    return fit;
}

// Places a page's rows, top to bottom, on an area of the given size; whether all of them fit.
Fit PlaceRows(std::span<const Row> rows, QSize area, const QWidget* waiting, Scale s) {
    for (std::size_t i = 0; i < rows.size(); ++i)
        Place(rows[i], i > 0 ? &rows[i - 1] : nullptr, s);
    Fit all;
    for (const Row& row : rows) {
        const auto next = std::find_if(rows.begin(), rows.end(),
                                       [&row](const Row& r) { return r.top > row.top; });
        const Fit fit = Fits(row, next != rows.end() ? std::optional(next->top) : std::nullopt,
                             area, waiting, s);
        all.across = all.across && fit.across;
        all.down = all.down && fit.down;
    }
    return all;
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
    pcInfo->addTab(tsHost, Q("&Verbinding"));
    pcInfo->addTab(tsParameters, Q("&Uitspraak"));
    pcInfo->addTab(tsAlgemeen, Q("Al&gemeen"));
    // The page's Alt+letter: every other letter of its name is taken on another page.
    tsToetsen = new KeysPage;
    pcInfo->addTab(tsToetsen, Q("Sne&ltoetsen"));

    Create(lblAddress, "lblAddress", tsHost);
    Create(EditAddress, "EditAddress", tsHost);
    Create(lblSignIn, "lblSignIn", tsHost);
    Create(lblServer, "lblServer", tsHost);
    Create(EditHost, "EditHost", tsHost);
    Create(lblSecurity, "lblSecurity", tsHost);
    Create(ComboSecurity, "ComboSecurity", tsHost);
    for (const ConnectionSecurity choice :
         {ConnectionSecurity::None, ConnectionSecurity::StartTls, ConnectionSecurity::Tls})
        ComboSecurity->addItem(Q(SecurityText(choice)));
    Create(lblPort, "lblPort", tsHost);
    EditPort = new DigitsField(5, tsHost);
    EditPort->setObjectName(QStringLiteral("EditPort"));
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
    Create(btSignIn, "btSignIn", tsHost);
    btSignIn->hide();
    btSignIn->setText(SignInCaption("de aanbieder")); // named once the address is known
    Create(lblPasswordPlace, "lblPasswordPlace", tsHost);
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
    Create(cbMeteenVoorlezen, "cbMeteenVoorlezen", tsAlgemeen);
    Create(cbBijlagenNoemen, "cbBijlagenNoemen", tsAlgemeen);
    Create(cbTijdNoemen, "cbTijdNoemen", tsAlgemeen);
    Create(cbPerAlinea, "cbPerAlinea", tsAlgemeen);

    Create(btOk, "btOk", this, Q("OK"));
    btOk->setDefault(true);
    Create(btCancel, "btCancel", this, Q("&Annuleren"));
    Create(Button1, "Button1", this, Q("&Help"));

    // Each field is read with its name and reached with its name's Alt+letter.
    lblAddress->setBuddy(EditAddress);
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
    // Typed only: loading the settings fills nothing in.
    connect(EditAddress, &QLineEdit::textEdited, this, &TfrmOpties::EditAddressChange);
    connect(btSignIn, &QPushButton::clicked, this, &TfrmOpties::btSignInClick);
}

void TfrmOpties::SetCaptions() {
    cbUseLid->setText(Q("Alleen &Nederlandstalige berichten voorlezen"));
    cbEigenTaal->setText(Q("Anderstalige berichten in hun &eigen taal voorlezen"));
    cbSkipInclude->setText(Q("Aangehaalde &tekst niet voorlezen"));
    cbReverse->setText(Q("Berichten van nieuw naar &oud geordend"));
    lblIntTime->setText(Q("&Elke"));
    lblIntTime2->setText(Q("minuten op nieuwe berichten controleren"));
    lblAddress->setText(Q("E-maila&dres"));
    lblServer->setText(Q("&POP-server"));
    lblSecurity->setText(Q("&Beveiliging"));
    lblPort->setText(Q("Poo&rt"));
    lblUserName->setText(Q("&Naam"));
    lblPassword->setText(Q("&Wachtwoord"));
    lblNumSave->setText(Q("&Maximum aantal op te halen berichten"));
    lblPitch->setText(Q("&Toonhoogte"));
    lblTempo->setText(Q("Te&mpo"));
    lblVolume->setText(Q("V&olume"));
    lblVoice->setText(Q("&Stem"));
    btLexicon->setText(Q("&Woordenlijst"));
    btDefaults->setText(Q("Stan&daardwaarden"));
    cbSemiService9X->setText(Q("Brevon automatisch &opstarten"));
    // The longer of the two, so that the page is laid out with room for either.
    lblPasswordPlace->setText(
        Q(std::max(kPasswordInKeyringLine, kPasswordInFileLine,
                   [](std::string_view a, std::string_view b) { return a.size() < b.size(); })));
    cbMeteenVoorlezen->setText(Q("Nieuwe berichten &meteen voorlezen"));
    cbBijlagenNoemen->setText(Q("&Bijlagen noemen"));
    cbTijdNoemen->setText(Q("Tij&d van ontvangst noemen"));
    cbPerAlinea->setText(Q("&Per alinea voorlezen"));
    // The box has no caption of its own; its label sits beside it and names the field after it
    // (the box is reached with Tab, right after the interval).
    cbNumSave->setAccessibleName(Q("Maximum aantal op te halen berichten"));
    // "Elke" names the interval field; the rest of the sentence tells what it counts.
    seIntervalTijd->setAccessibleDescription(Q("minuten op nieuwe berichten controleren"));
    // The voice list can be typed in: its text field is read by the list's name too.
    ComboBox1->lineEdit()->setAccessibleName(Q("Stem"));
}

void TfrmOpties::LayOut() {
    // The hint is laid out as wide as the widest it usually shows; its text changes later
    // within that room.
    const QFontMetrics hintFont(lblSignIn->font());
    const QString hints[] = {Q(kAppPasswordHint), Q(std::string(kSignInAtHint) + "Microsoft"),
                             Q(std::string(kSignInAtHint) + "Google")};
    lblSignIn->setText(*std::max_element(
        std::begin(hints), std::end(hints), [&hintFont](const QString& a, const QString& b) {
            return hintFont.horizontalAdvance(a) < hintFont.horizontalAdvance(b);
        }));
    for (QLabel* label : findChildren<QLabel*>())
        label->adjustSize();

    using enum NameAt;
    using enum Sizing;
    // Each page top to bottom; a row whose place depends on another comes after it.
    // clang-format off
    const Row verbinding[] = {
        // control       name         name at across      top    width height sizing
        {EditAddress,    lblAddress,  Before, At(72),     8,     201,  21,    Field},
        // What the provider asks, under the address it belongs to.
        {lblSignIn,      nullptr,     None,   At(72),     32,    0,    17,    Own},
        {EditHost,       lblServer,   Before, At(72),     52,    201,  21,    Field},
        // Security and port share the row under the server they belong to; the port field
        // ends where the server field does.
        {EditPort,       lblPort,     Before, EndAt(273), 76,    44,   21,    AtLeast},
        {ComboSecurity,  lblSecurity, Before, At(72),     76,    0,    21,    Fill},
        {EditUserId,     lblUserName, Before, At(72),     100,   201,  21,    Field},
        {EditPasswd,     lblPassword, Before, At(72),     124,   201,  21,    Field},
        {seIntervalTijd, lblIntTime,  Lead,   At(8),      154.5, 40,   21,    AtLeast},
        {lblIntTime2,    nullptr,     None,   kAfter,     154.5, 0,    21,    Own},
        {cbNumSave,      nullptr,     None,   At(8),      186.5, 0,    21,    Own},
        {seNumSave,      lblNumSave,  Lead,   kAfter,     186.5, 50,   21,    AtLeast},
        {cbReverse,      nullptr,     None,   At(8),      225,   0,    17,    Box},
        {lblPasswordPlace, nullptr,   None,   At(8),      249,   0,    15,    Own},
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
        {cbMeteenVoorlezen, nullptr, None, At(8), 104, 0, 17, Box},
        {cbBijlagenNoemen,  nullptr, None, At(8), 128, 0, 17, Box},
        {cbTijdNoemen,      nullptr, None, At(8), 152, 0, 17, Box},
        {cbPerAlinea,       nullptr, None, At(8), 176, 0, 17, Box},
    };
    const Row buttons[] = {
        {btOk,     nullptr, None, At(16),  303, 80, 25, Fixed},
        {btCancel, nullptr, None, At(103), 303, 80, 25, Fixed},
        {Button1,  nullptr, None, At(192), 303, 80, 25, Fixed},
    };
    // clang-format on

    // The smallest factors at which every page and the buttons below fit. Each grows only
    // while something still lacks room its way; the bound keeps a font far beyond any
    // setting (a huge size, a broken font) from growing the dialog without end.
    const int tabBarH = pcInfo->tabBar()->sizeHint().height();
    const int tabBarWidth = pcInfo->tabBar()->sizeHint().width();
    const QSize keysPage = tsToetsen->minimumSizeHint();
    const int frame = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 2;
    const auto placeAll = [&](Scale s) {
        const QSize page(s.x(kDesignWidth) - frame, s.y(kDesignTabsHeight) - tabBarH - frame);
        const QSize dialog(s.x(kDesignWidth), s.y(kDesignHeight));
        const std::pair<std::span<const Row>, QSize> parts[] = {
            {verbinding, page}, {uitspraak, page}, {algemeen, page}, {buttons, dialog}};
        Fit fits;
        for (const auto& [rows, area] : parts) { // every part placed, fit or not
            const Fit fit = PlaceRows(rows, area, btOk, s);
            fits.across = fits.across && fit.across;
            fits.down = fits.down && fit.down;
        }
        // Every tab shown whole, without the tab bar's scroll buttons; the keys' page is laid
        // out by its own layout and needs its least size.
        fits.across =
            fits.across && tabBarWidth <= s.x(kDesignWidth) && keysPage.width() <= page.width();
        fits.down = fits.down && keysPage.height() <= page.height();
        return fits;
    };
    constexpr double kMostGrowth = 5.0;
    Scale s{1.0, 1.0};
    for (Fit fit = placeAll(s); !fit() && std::max(s.fx, s.fy) < kMostGrowth; fit = placeAll(s)) {
        if (!fit.across) s.fx += 0.01;
        if (!fit.down) s.fy += 0.01;
    }
    setFixedSize(s.x(kDesignWidth), s.y(kDesignHeight));
    pcInfo->setGeometry(0, 0, s.x(kDesignWidth), s.y(kDesignTabsHeight));
    pcInfo->setCurrentIndex(0);
    // The sign-in button stands where the password field would.
    btSignIn->setGeometry(EditPasswd->geometry());
}

void TfrmOpties::SetTabOrder() {
    QWidget* const order[] = {btOk,       btCancel,       Button1,   pcInfo,      EditAddress,
                              EditHost,   ComboSecurity,  EditPort,  EditUserId,  EditPasswd,
                              btSignIn,   seIntervalTijd, cbNumSave, seNumSave,   cbReverse,
                              ComboBox1,  tbPitch,        tbVolume,  tbTempo,     btLexicon,
                              btDefaults, cbSkipInclude,  cbUseLid,  cbEigenTaal, cbSemiService9X};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    // The listening boxes close the "Algemeen" page.
    QWidget* const listening[] = {cbSemiService9X, cbMeteenVoorlezen, cbBijlagenNoemen,
                                  cbTijdNoemen, cbPerAlinea};
    for (std::size_t i = 1; i < std::size(listening); ++i)
        QWidget::setTabOrder(listening[i - 1], listening[i]);
}

void TfrmOpties::PlaceAt(int x, int y) {
    move(x, y);
    // A place saved on a screen that is gone would leave the dialog out of reach.
    const QRect frame(x, y, width(), height());
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect area = screen->availableGeometry();
        if (!area.intersects(frame)) continue;
        // Partly off the screen (larger text or a scaled screen than when the place was
        // saved): moved in so that it is whole, its top-left corner kept in reach first.
        const int left = std::max(area.left(), std::min(x, area.right() + 1 - width()));
        const int top = std::max(area.top(), std::min(y, area.bottom() + 1 - height()));
        move(left, top);
        return;
    }
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        move(primary->availableGeometry().topLeft() + QPoint(10, 40));
}

void TfrmOpties::LoadOptions() {
    const Settings& settings = context_.settings;
    const OptionsFields fields = FieldsFromSettings(settings);
    EditAddress->setText(Q(fields.Address));
    lblSignIn->setText(context_.presets ? Q(SignInHint(fields.Address, *context_.presets))
                                        : QString());
    ShowServer(fields);
    EditPasswd->setText(Q(fields.Password));
    lblPasswordPlace->setVisible(static_cast<bool>(context_.passwordPlace));
    if (context_.passwordPlace) {
        const PasswordPlace place = context_.passwordPlace();
        lblPasswordPlace->setText(Q(PasswordPlaceLine(place)));
        EditPasswd->setAccessibleDescription(Q(PasswordPlaceDescription(place)));
        lblPasswordPlace->setToolTip(Q(PasswordPlaceDescription(place)));
    }
    tbTempo->setValue(fields.Tempo);
    tbPitch->setValue(fields.Pitch);
    tbVolume->setValue(fields.Volume);
    seIntervalTijd->setValue(fields.Interval);
    seNumSave->setValue(fields.NumSaveMails);
    for (const Box& b : Boxes())
        b.box->setChecked(fields.*b.field);
    cbNumSaveClick(); // also when the box did not change
    // "From new to old" is the order when "Reverse" is clear.
    cbReverse->setChecked(!fields.Reverse);
    ShowVoice(settings.Voice);
    defaultVoice_.reset();
    tsToetsen->Load(settings, context_.keys);
    signedIn_ = settings.SignIn;
    ShowSignInRow(fields.Address);
    connectionChanged_ = false;
}

void TfrmOpties::SaveOptions() {
    if (SaveFieldsToSettings(FieldsFromControls(), context_.settings, context_.state))
        connectionChanged_ = true;
    if (context_.settings.SignIn != signedIn_) {
        context_.settings.SignIn = signedIn_;
        connectionChanged_ = true;
    }
}

void TfrmOpties::ShowSignInRow(const std::string& address) {
    const MailPreset* preset = context_.presets ? context_.presets->ForAddress(address) : nullptr;
    const OAuthProvider* provider = preset && preset->signIn == SignInMethod::OAuth2
                                        ? context_.presets->Provider(preset->oauth2)
                                        : nullptr;
    signInOffered_ = provider ? provider->id : std::string();
    // A sign-in at another provider is no sign-in for this address.
    if (signedIn_ != signInOffered_) signedIn_.clear();
    btSignIn->setVisible(provider != nullptr);
    lblPassword->setVisible(provider == nullptr);
    EditPasswd->setVisible(provider == nullptr);
    if (!provider) {
        lblPasswordPlace->setVisible(static_cast<bool>(context_.passwordPlace));
        if (context_.passwordPlace)
            lblPasswordPlace->setText(Q(PasswordPlaceLine(context_.passwordPlace())));
        return;
    }
    btSignIn->setText(SignInCaption(provider->name));
    const bool can = context_.signIn && context_.canSignIn && context_.canSignIn(provider->id);
    btSignIn->setEnabled(can && !signingIn_);
    const QString why =
        can ? QString()
            : Q("Deze uitgave van brevon heeft geen aanmelding bij " + provider->name + ".");
    btSignIn->setToolTip(why);
    btSignIn->setAccessibleDescription(why);
    lblPasswordPlace->setVisible(true);
    lblPasswordPlace->setText(signedIn_.empty() ? QString()
                                                : Q(std::string(kSignedInAs) + address + "."));
}

void TfrmOpties::btSignInClick() {
    if (signInOffered_.empty() || !context_.signIn || signingIn_) return;
    const OptionsFields fields = FieldsFromControls();
    signingIn_ = true;
    btSignIn->setEnabled(false);
    lblPasswordPlace->setText(Q(kSigningIn));
    Trace("SignIn " + signInOffered_);
    QPointer<TfrmOpties> self(this);
    context_.signIn(signInOffered_, fields.Address, PasswordAccount(fields.User, fields.Host),
                    [self, provider = signInOffered_](const std::string& failure) {
                        if (!self) return;
                        self->signingIn_ = false;
                        if (failure.empty() && provider == self->signInOffered_)
                            self->signedIn_ = provider;
                        self->ShowSignInRow(ToCp1252(self->EditAddress->text()));
                        if (!failure.empty()) self->lblPasswordPlace->setText(Q(failure));
                        Trace(failure.empty() ? "Signed in" : "Sign-in failed");
                    });
}

void TfrmOpties::SelectSignInButton() {
    pcInfo->setCurrentWidget(tsHost);
    QWidget* field = btSignIn->isVisible() ? static_cast<QWidget*>(btSignIn) : EditAddress;
    field->setFocus(Qt::OtherFocusReason);
    Trace("Options page " + pcInfo->tabText(pcInfo->currentIndex()).remove('&').toStdString() +
          ", focus " + field->objectName().toStdString());
}

OptionsFields TfrmOpties::FieldsFromControls() const {
    OptionsFields f;
    f.Address = ToCp1252(EditAddress->text());
    f.Host = ToCp1252(EditHost->text());
    f.Security = SecurityFromText(ToCp1252(ComboSecurity->currentText()));
    f.Port = PortFromText(ToCp1252(EditPort->text()));
    f.User = ToCp1252(EditUserId->text());
    f.Password = ToCp1252(EditPasswd->text());
    f.Interval = SpinBoxValue(seIntervalTijd);
    f.NumSaveMails = SpinBoxValue(seNumSave);
    f.Reverse = !cbReverse->isChecked();
    f.VoiceText = ToCp1252(ComboBox1->currentText());
    f.VoiceCode = defaultVoice_;
    f.Tempo = tbTempo->value();
    f.Pitch = tbPitch->value();
    f.Volume = tbVolume->value();
    for (const Box& b : Boxes())
        f.*b.field = b.box->isChecked();
    return f;
}

std::array<TfrmOpties::Box, 9> TfrmOpties::Boxes() const {
    return {{
        {cbNumSave, &OptionsFields::UseNumSaveMails},
        {cbSkipInclude, &OptionsFields::SkipReply},
        {cbUseLid, &OptionsFields::UseLid},
        {cbEigenTaal, &OptionsFields::ReadInOwnLanguage},
        {cbSemiService9X, &OptionsFields::SemiService9X},
        {cbMeteenVoorlezen, &OptionsFields::ReadNewAtOnce},
        {cbBijlagenNoemen, &OptionsFields::SayAttachments},
        {cbTijdNoemen, &OptionsFields::SayArrivalTime},
        {cbPerAlinea, &OptionsFields::ReadByParagraph},
    }};
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

void TfrmOpties::EditAddressChange() {
    if (!context_.presets) return;
    OptionsFields fields = FieldsFromControls();
    lblSignIn->setText(Q(SignInHint(fields.Address, *context_.presets)));
    ShowSignInRow(fields.Address);
    if (!FillFromAddress(fields, *context_.presets)) return;
    ShowServer(fields);
}

void TfrmOpties::ShowServer(const OptionsFields& fields) {
    EditHost->setText(Q(fields.Host));
    ComboSecurity->setCurrentIndex(ComboSecurity->findText(Q(SecurityText(fields.Security))));
    EditPort->setText(Q(PortText(fields.Port)));
    EditUserId->setText(Q(fields.User));
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
    // The sign-in is the dialog's own, beside the fields; another one checks mail anew.
    if (context_.settings.SignIn != signedIn_) connectionChanged_ = true;
    context_.settings.SignIn = signedIn_;
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
    QLineEdit* field = user ? EditUserId : EditHost->text().isEmpty() ? EditAddress : EditHost;
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
    // The page and the field a failed check leaves the user on, for the GUI tests.
    Trace("Options page " + pcInfo->tabText(pcInfo->currentIndex()).remove('&').toStdString() +
          ", focus " + field->objectName().toStdString());
}

void TfrmOpties::SelectPasswordField() {
    pcInfo->setCurrentWidget(tsHost);
    EditPasswd->setFocus(Qt::OtherFocusReason);
    EditPasswd->selectAll();
    Trace("Options page " + pcInfo->tabText(pcInfo->currentIndex()).remove('&').toStdString() +
          ", focus " + EditPasswd->objectName().toStdString());
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
