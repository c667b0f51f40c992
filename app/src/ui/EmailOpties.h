// The options dialog "Instellingen": edits the settings record and, at OK, saves it and brings
// the speech engine, the language check, the logon entry and (after a connection change) the
// mailbox in line with it. Created once, shown without blocking by ShowOptions, hidden by any
// close.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string_view>

#include <QDialog>

#include <app/KeyringSettingsStore.h>
#include <app/Options.h>
#include <app/Settings.h>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;

// app/Options.h declares the platform and mail-side classes named here.
namespace brevon {

class GlobalKeyBindings;
class KeysPage;
class MailPresets;

// Under the sign-in button: while the browser is open, and after a sign-in (with the address).
inline constexpr std::string_view kSigningIn = "Aanmelden in de browser...";
inline constexpr std::string_view kSignedInAs = "Aangemeld als ";

// What the dialog works on. The references must outlive it.
struct OptiesContext {
    Settings& settings;
    ReadingState& state;
    platform::SettingsStore& store;
    SpeechOps& speech;
    LanguageCheckOps* languageCheck = nullptr; // null: no language gate
    MailOps* mail = nullptr;                   // null: OK checks no mail
    // The control bar's place for StoreWindowPositions; empty: "X", "Y" stay as they are.
    std::function<WindowPosition()> barPosition;
    // Runs at every close (OK, Annuleren, Esc, the window's close button): the shell enables
    // the tray and the bar again and sets the mail timer by Online.
    std::function<void()> afterClose;
    platform::Autostart* autostart = nullptr; // null: the logon entry is left alone
    GlobalKeyBindings* keys = nullptr;        // null: the keys are stored, not taken
    // Where the password is kept, said on "Verbinding"; empty: nothing is said.
    std::function<PasswordPlace()> passwordPlace = {};
    // The providers an address's domain is looked up in; null: an address fills in nothing.
    const MailPresets* presets = nullptr;
    // Signs the account in at the OAuth2 provider of that id (browser, redirect, token exchange)
    // and keeps its tokens; done is called once, with an empty text on success or what went
    // wrong, said for the user. Null: the sign-in button does nothing.
    std::function<void(const std::string& provider, const std::string& address,
                       const std::string& account, std::function<void(const std::string&)> done)>
        signIn = {};
    // Whether this build (or the presets) has a client ID for the provider.
    std::function<bool(const std::string& provider)> canSignIn = {};
};

class TfrmOpties final : public QDialog, private WindowPositions {
    Q_OBJECT

public:
    explicit TfrmOpties(OptiesContext context, QWidget* parent = nullptr);
    ~TfrmOpties() override;

    // The mail side is made after the dialog; it is handed over once it exists.
    void SetMailOps(MailOps* mail) { context_.mail = mail; }

    // The settings into the controls; clears ConnectionChanged. Call right before showing.
    void LoadOptions();
    // The controls into the settings; sets ConnectionChanged when the connection differs.
    void SaveOptions();
    bool ConnectionChanged() const { return connectionChanged_; }

    // After a failed connection: the "Verbinding" page with the focus on the host field, or on
    // the user field. With no server yet (a first run) the address is asked first.
    void SelectConnectionField(bool user);
    // When the password must be given again: the "Verbinding" page, the focus on it.
    void SelectPasswordField();
    // When the provider would not renew the sign-in: the "Verbinding" page, the focus on the
    // sign-in button (on the address when the address no longer signs in at a provider).
    void SelectSignInButton();

    // The frame's top-left corner, for "XI", "YI".
    WindowPosition Position() const;

    // Event handlers.
    void btOkClick();
    void btCancelClick();
    void HelpClick();
    void btLexiconClick();
    void btDefaultsClick();
    void cbNumSaveClick();
    // Typed in the address: a known provider's connection fields filled in, its hint shown.
    void EditAddressChange();
    // Starts the sign-in at the address's provider.
    void btSignInClick();

    // The controls, by the names the rest of the program and the tests use.
    QTabWidget* pcInfo;
    QWidget* tsHost;
    QWidget* tsParameters;
    QWidget* tsAlgemeen;
    KeysPage* tsToetsen;

    QLabel* lblAddress;
    QLineEdit* EditAddress; // "E-mailadres"
    QLabel* lblSignIn;      // what the address's provider asks, or empty
    QLabel* lblServer;
    QLineEdit* EditHost;
    QLabel* lblSecurity;
    QComboBox* ComboSecurity; // "Beveiliging": Geen, STARTTLS, SSL/TLS
    QLabel* lblPort;
    QLineEdit* EditPort; // "Poort": empty for the usual one
    QLabel* lblUserName;
    QLineEdit* EditUserId;
    QLabel* lblPassword;
    QLineEdit* EditPasswd;
    // In the password's place for a provider that signs in on its own page.
    QPushButton* btSignIn;
    QLabel* lblPasswordPlace; // where the password is kept
    QLabel* lblIntTime;
    QSpinBox* seIntervalTijd;
    QLabel* lblIntTime2;
    QCheckBox* cbNumSave;
    QLabel* lblNumSave;
    QSpinBox* seNumSave;
    QCheckBox* cbReverse;

    QLabel* lblVoice;
    QComboBox* ComboBox1;
    QLabel* lblPitch;
    QSlider* tbPitch;
    QLabel* lblVolume;
    QSlider* tbVolume;
    QLabel* lblTempo;
    QSlider* tbTempo;
    QPushButton* btLexicon;
    QPushButton* btDefaults;

    QCheckBox* cbSkipInclude;
    QCheckBox* cbUseLid;
    QCheckBox* cbEigenTaal;
    QCheckBox* cbSemiService9X;
    QCheckBox* cbMeteenVoorlezen; // "MeteenVoorlezen"
    QCheckBox* cbBijlagenNoemen;  // "BijlagenNoemen"
    QCheckBox* cbTijdNoemen;      // "TijdNoemen"
    QCheckBox* cbPerAlinea;       // "PerAlinea"

    QPushButton* btOk;
    QPushButton* btCancel;
    QPushButton* Button1;

protected:
    void done(int result) override;

private:
    void CreateControls();
    void SetCaptions();
    void LayOut();
    void SetTabOrder();
    void PlaceAt(int x, int y);
    void FormClose();
    OptionsFields FieldsFromControls() const;
    // The boxes that show a field as it is ("Reverse" shows inverted and is not among them).
    struct Box {
        QCheckBox* box;
        bool OptionsFields::*field;
    };
    std::array<Box, 9> Boxes() const;
    // Server, security, port and user name into their controls.
    void ShowServer(const OptionsFields& fields);
    void ShowVoice(std::int32_t code);
    void RefusePassword(std::string_view text);
    void ApplyKeys();

    WindowPosition BarPosition() const override;
    WindowPosition OptionsPosition() const override;

    OptiesContext context_;
    // The voice "Standaardwaarden" chose, until the next LoadOptions: the list may lack it.
    std::optional<std::int32_t> defaultVoice_;
    bool connectionChanged_ = false;
    bool busy_ = false; // OK is at work: closing waits for it
    // The provider the address signs in at (empty: a password), and the one a sign-in of this
    // dialog or an earlier one succeeded at ("Aanmelden").
    std::string signInOffered_;
    std::string signedIn_;
    bool signingIn_ = false;
    void ShowSignInRow(const std::string& address);
};

} // namespace brevon
