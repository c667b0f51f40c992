// The program's main window: never shown, it owns the tray icon and its popup menu, through
// which the user shows or hides the bar, works offline, opens the options, help and about
// windows, steers the reading (with the bar's own reading actions) and ends the program.
// Closing it ends the program. It is made after the bar, which it shows and hides.
#pragma once

#include <optional>

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

#include <app/ControlBar.h>

#include "Program.h"

namespace brevon {

class TfrmMain final : public QWidget {
    Q_OBJECT
public:
    // program.bar must be set.
    explicit TfrmMain(Program& program);
    ~TfrmMain() override;

    // The bar toggle item's caption from "ShowWindow"; shows the bar when it is set.
    void pop_form();
    // Shows the bar for good.
    void pop_up_form();
    // Hides the bar when it is visible, otherwise pop_up_form.
    void pop_toggle_form();
    // Opens the menu at the mouse, or where the bar's keyboard asks for it.
    void pop_up_menu(std::optional<QPoint> at = std::nullopt);
    // The "Offline werken" check mark shows the opposite of online.
    void ToggleOnline(bool online);
    // Opens the options dialog; the tray and the bar ignore the user until it closes.
    void ShowOptions();
    // Removes the tray icon (shutdown).
    void RemoveTrayIcon();

    QMenu* PopupMenu1 = nullptr;
    QAction* view1 = nullptr;
    QAction* offline1 = nullptr;
    QAction* Instellingen1 = nullptr;
    QAction* Help1 = nullptr;
    QAction* Leesvoor1 = nullptr;
    QAction* Pauzeervoorlezen1 = nullptr;
    QAction* stop1 = nullptr;
    QAction* Vorigebericht1 = nullptr;
    QAction* Volgendebericht1 = nullptr;
    QAction* Allesvoorlezen1 = nullptr;
    QAction* Over1 = nullptr;
    QAction* exit1 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Offline1Click();
    void Over1Click();
    void TrayActivated(QSystemTrayIcon::ActivationReason reason);
    void Shutdown();

    Program& program_;
    QSystemTrayIcon* tray_ = nullptr;
    // On X11 the icon is a widget of Qt's whose mouse events we watch to act on releases, as
    // the platform reports them; elsewhere Qt's activation signal is all there is.
    bool sawTrayWidget_ = false;
    bool shutDown_ = false;
};

} // namespace brevon
