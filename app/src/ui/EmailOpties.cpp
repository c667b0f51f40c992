#include "EmailOpties.h"

#include <algorithm>
#include <cmath>
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
#include <platform/Autostart.h>

#include "Cp1252.h"
#include "Help.h"
#include "Trace.h"

namespace brevon {

namespace {

QString Q(std::string_view cp1252) {
    return FromCp1252(cp1252);
}

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

} // namespace

TfrmOpties::TfrmOpties(OptiesContext context, QWidget* parent)
    : QDialog(parent), context_(std::move(context)) {
    setObjectName(QStringLiteral("frmOpties"));
    setWindowTitle(Q("Instellingen"));
    setModal(false);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    CreateControls();

    // Creation: the voice list, the captions, the rows, the platform family.
    for (const VoiceItem& item : kVoiceList)
        ComboBox1->addItem(Q(item.name));
    lblVoice->setVisible(true);
    ComboBox1->setVisible(true);
    SetCaptions();
    isWin9x_ = context_.isWin9x.value_or(platform::IsWin9xFamily());
    cbSemiService9X->setVisible(isWin9x_);
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

    const auto hint = [](const QWidget* w) { return w->sizeHint(); };
    const int editH = hint(EditHost).height();
    const int spinH = hint(seIntervalTijd).height();
    const int comboH = hint(ComboBox1).height();
    const int sliderH = hint(tbPitch).height();
    const int boxH = hint(cbReverse).height();
    const int tabBarH = pcInfo->tabBar()->sizeHint().height();
    const int frame = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 2;
    const int numSaveBoxW = hint(cbNumSave).width();
    const int wideButton = std::max({hint(btLexicon).width(), hint(btDefaults).width()});
    int narrowButton = 0;
    for (const char* caption : {"OK", "Wacht...", "Annuleren", "Help"}) {
        QPushButton probe(Q(caption));
        narrowButton = std::max(narrowButton, probe.sizeHint().width());
    }
    int widestBox = 0;
    for (QCheckBox* box : {cbReverse, cbSkipInclude, cbUseLid, cbEigenTaal, cbSemiService9X})
        widestBox = std::max(widestBox, hint(box).width());

    // The smallest factor at which every caption, field and row fits its place in the grid.
    const auto fits = [&](double f) {
        const auto s = [f](double units) { return static_cast<int>(std::lround(units * f)); };
        const int pageW = s(kDesignWidth) - frame;
        const int pageH = s(kDesignTabsHeight) - tabBarH - frame;
        const int intervalRow = s(8) + lblIntTime->width() + kGap +
                                std::max(s(40), hint(seIntervalTijd).width()) + kGap +
                                lblIntTime2->width();
        const int fetchRow = s(8) + numSaveBoxW + kGap + lblNumSave->width() + kGap +
                             std::max(s(50), hint(seNumSave).width());
        const int connectionLabels = std::max(
            {lblServer->width(), lblSecurity->width(), lblUserName->width(), lblPassword->width()});
        const int securityRow = s(72) + hint(ComboSecurity).width() + kGap + lblPort->width() +
                                kLabelGap + std::max(s(44), hint(EditPort).width());
        const int speechLabels =
            std::max({lblPitch->width(), lblVolume->width(), lblTempo->width(), lblVoice->width()});
        return intervalRow <= pageW - s(8) && fetchRow <= pageW - s(8) &&
               s(8) + widestBox <= pageW - s(8) && s(4) + connectionLabels + kLabelGap <= s(72) &&
               s(19) + speechLabels + s(6) <= s(110) && editH + 2 <= s(24) && spinH + 4 <= s(32) &&
               comboH <= s(30) && sliderH + 2 <= s(32) && wideButton <= s(105) &&
               narrowButton <= s(80) && s(181) + std::max(boxH, s(17)) + 2 <= pageH &&
               s(144) + s(25) + 2 <= pageH && securityRow <= s(273) && comboH + 2 <= s(24);
    };
    double f = 1.0;
    while (!fits(f) && f < 2.0)
        f += 0.01;
    const auto s = [f](double units) { return static_cast<int>(std::lround(units * f)); };

    setFixedSize(s(kDesignWidth), s(kDesignHeight));
    pcInfo->setGeometry(0, 0, s(kDesignWidth), s(kDesignTabsHeight));
    pcInfo->setCurrentIndex(0);
    btOk->setGeometry(s(16), s(239), s(80), s(25));
    btCancel->setGeometry(s(103), s(239), s(80), s(25));
    Button1->setGeometry(s(192), s(239), s(80), s(25));

    // Rows are aligned on their middle: the grid's labels sat a few units below their fields.
    const auto place = [](QWidget* w, int x, int middle, int width, int height) {
        w->setGeometry(x, middle - height / 2, width, height);
    };
    const auto placeLabel = [](QLabel* label, int x, int middle) {
        label->move(x, middle - label->height() / 2);
    };
    // Right-aligned against their fields, whatever the font makes of their widths.
    const auto placeRightLabel = [](QLabel* label, int right, int middle) {
        label->move(right - label->width(), middle - label->height() / 2);
    };

    // Verbinding.
    const int edit = std::max(s(21), editH);
    struct Row {
        QLabel* label;
        QLineEdit* field;
        int top;
    };
    for (const Row& row : {Row{lblServer, EditHost, 8}, Row{lblUserName, EditUserId, 56},
                           Row{lblPassword, EditPasswd, 80}}) {
        const int middle = s(row.top + 10.5);
        place(row.field, s(72), middle, s(201), edit);
        placeRightLabel(row.label, s(72) - kLabelGap, middle);
    }
    // Security and port share the row under the server they belong to; the port field ends
    // where the server field does.
    int middle = s(32 + 10.5);
    const int portW = std::max(s(44), hint(EditPort).width());
    place(EditPort, s(273) - portW, middle, portW, edit);
    placeRightLabel(lblPort, EditPort->x() - kLabelGap, middle);
    place(ComboSecurity, s(72), middle, lblPort->x() - kGap - s(72), std::max(edit, comboH));
    placeRightLabel(lblSecurity, s(72) - kLabelGap, middle);
    const int spin = std::max(s(21), spinH);
    middle = s(121);
    placeLabel(lblIntTime, s(8), middle);
    place(seIntervalTijd, lblIntTime->geometry().right() + 1 + kGap, middle,
          std::max(s(40), hint(seIntervalTijd).width()), spin);
    placeLabel(lblIntTime2, seIntervalTijd->geometry().right() + 1 + kGap, middle);

    middle = s(153);
    place(cbNumSave, s(8), middle, numSaveBoxW, hint(cbNumSave).height());
    placeLabel(lblNumSave, cbNumSave->geometry().right() + 1 + kGap, middle);
    place(seNumSave, lblNumSave->geometry().right() + 1 + kGap, middle,
          std::max(s(50), hint(seNumSave).width()), spin);
    cbReverse->setGeometry(s(8), s(181), hint(cbReverse).width(), std::max(boxH, s(17)));

    // Uitspraak.
    middle = s(12 + 10.5);
    place(ComboBox1, s(118), middle, s(146), std::max(s(21), comboH));
    placeLabel(lblVoice, s(19), middle);
    struct Level {
        QLabel* label;
        QSlider* slider;
        int top;
    };
    for (const Level& level : {Level{lblPitch, tbPitch, 44}, Level{lblVolume, tbVolume, 76},
                               Level{lblTempo, tbTempo, 108}}) {
        middle = s(level.top + 12.5);
        place(level.slider, s(110), middle, s(160), std::max(s(25), sliderH));
        // The name goes with the groove, which the ticks below push above the middle.
        QStyleOptionSlider option;
        option.initFrom(level.slider);
        option.orientation = Qt::Horizontal;
        option.minimum = level.slider->minimum();
        option.maximum = level.slider->maximum();
        option.tickPosition = level.slider->tickPosition();
        option.tickInterval = level.slider->tickInterval();
        option.rect = QRect(QPoint(0, 0), level.slider->size());
        const QRect groove = level.slider->style()->subControlRect(
            QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, level.slider);
        placeLabel(level.label, s(19), level.slider->y() + groove.center().y());
    }
    btLexicon->setGeometry(s(12), s(144), s(105), s(25));
    btDefaults->setGeometry(s(163), s(144), s(105), s(25));

    // Algemeen.
    cbSkipInclude->setGeometry(s(8), s(8), hint(cbSkipInclude).width(), std::max(boxH, s(17)));
    cbUseLid->setGeometry(s(8), s(32), hint(cbUseLid).width(), std::max(boxH, s(17)));
    cbEigenTaal->setGeometry(s(8), s(56), hint(cbEigenTaal).width(), std::max(boxH, s(17)));
    cbSemiService9X->setGeometry(s(8), s(80), hint(cbSemiService9X).width(), std::max(boxH, s(17)));
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
        btOk->setText(Q("Wacht..."));
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
    btOk->setText(Q("Wacht..."));
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
        .isWin9x = isWin9x_,
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
    Settings& settings = context_.settings;
    context_.speech.GetDefaultSettings(settings.Voice, settings.Tempo, settings.Pitch,
                                       settings.Volume);
    tbTempo->setValue(settings.Tempo);
    tbPitch->setValue(settings.Pitch);
    tbVolume->setValue(settings.Volume);
    ShowVoice(settings.Voice);
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
