// The control bar: a small borderless skinned window with the five reading buttons and the
// settings and help words, moved by dragging its background. It owns the mail, drag and header
// timers and the five reading actions the tray menu shows too; its behaviour lives in
// ControlBar, the widgets here only show and report.
#pragma once

#include <array>
#include <memory>
#include <optional>

#include <QAction>
#include <QLabel>
#include <QPixmap>
#include <QPolygon>
#include <QRegion>
#include <QTimer>
#include <QWidget>

#include <app/ControlBar.h>

#include "QtTimer.h"
#include "Speech.h"

namespace brevon {

// A picture that reports presses, releases, clicks and moves to the bar.
class PictureControl final : public QLabel {
    Q_OBJECT
public:
    PictureControl(QWidget* parent, const QString& name, QRect geometry);

    // Whether a focused control draws the keyboard's focus mark (a mouse user never sees it).
    void SetFocusMark(bool on);
    bool FocusMarkShown() const { return focusMark_ && hasFocus(); }

signals:
    void pressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint barPosition);
    void released(Qt::MouseButton button);
    void clicked();
    void moved();
    // Tab or a shortcut has brought the focus here.
    void focusedByKey();

protected:
    // The picture as it is, also while the bar is disabled: a skinned bar keeps its look.
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    bool focusMark_ = false;
};

// The five reading operations as actions: the bar's buttons and the tray menu's items trigger
// the same action, and its enabled state is the one both show.
class ReadingActions final {
public:
    explicit ReadingActions(QObject* owner);
    // The action of play, pauze, stop, back or forw (null for the settings and help words).
    QAction* Action(BarButton button) const;
    // "Alles voorlezen" (tray item and global key): enabled with play, which it resumes while
    // paused.
    QAction* ReadAllAction() const { return readAll_; }
    void SetMailOps(MailOps* mail) { mail_ = mail; }

private:
    std::array<QAction*, kReadingButtonCount> actions_{};
    QAction* readAll_ = nullptr;
    MailOps* mail_ = nullptr;
};

class TfrmBrevon final : public QWidget, public BarView {
    Q_OBJECT
public:
    TfrmBrevon(Settings& settings, ReadingState& state);
    ~TfrmBrevon() override;

    // What other windows and the mail side call.
    ControlBar& Bar() { return bar_; }
    const ReadingActions& Actions() const { return actions_; }
    void ShowHelp();
    void SetMailOps(MailOps* mail) {
        mail_ = mail;
        bar_.SetMailOps(mail);
        actions_.SetMailOps(mail);
    }
    // Where the bar stands now: what is saved as "X" and "Y".
    WindowPosition Position() const { return {x(), y()}; }

    // The window handle the speech engine is given for a body reading.
    void* SpeechHandle() const { return speechTarget_.Handle(); }

    // The three panels of the bar's outline, in bar pixels.
    static std::array<QPolygon, 3> PanelOutlines();
    // The window's shape: the panels and every other visible child.
    QRegion ShapeRegion() const;

    // Keyboard and screen readers. Which button a control is (none: the background).
    std::optional<BarButton> ButtonOf(const QWidget* control) const;
    // The button's name as its tray item reads, without the mnemonic: "Voorlezen" ...
    QString ButtonName(BarButton button) const;
    // Does what a click on the button does; a disabled reading button refuses.
    void Press(BarButton button);
    // Shows the bar with the keyboard's focus on its buttons and the focus mark visible.
    void TakeKeyboardFocus();

    // BarView
    void ShowLook(BarButton button, Look look) override;
    void SetButtonHint(BarButton button, const std::string& text) override;
    void SetBarHint(const std::string& text) override;
    void SetMenuItemEnabled(BarButton button, bool enabled) override;

    PictureControl* Image1 = nullptr;
    PictureControl* imgPlay = nullptr;
    PictureControl* imgPauze = nullptr;
    PictureControl* imgStop = nullptr;
    PictureControl* imgBack = nullptr;
    PictureControl* imgFor = nullptr;
    PictureControl* imgInstel = nullptr;
    PictureControl* imgHelp = nullptr;

signals:
    // A drag of the bar has ended.
    void dragEnded();
    // The desktop asked to close the bar: it is hidden as the tray's toggle hides it.
    void hideAsked();
    // The Menu key or Shift+F10: the tray's menu, opened at this screen position.
    void menuAsked(QPoint at);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShapeWindow();
    // The skin drawn for the screen's pixel density: the background and each button's look as
    // it shows now. Done again when the bar comes to a screen of another density.
    void RenderSkin();
    void StartDrag(QPoint grab);
    void MoveWithMouse();
    void EndDrag();
    PictureControl* Control(BarButton button) const;
    void MoveFocus(int step);
    void ShowFocusMark(bool on);

    Settings& settings_;
    MailOps* mail_ = nullptr;
    ReadingActions actions_;
    QtTimer tmrMail_;
    QtTimer tmrReadWCHeader_;
    QTimer tmrForm_;
    ControlBar bar_;
    SpeechTarget speechTarget_;
    bool dragging_ = false;
    QPoint grab_;
    // The looks of each button: normal, lit, disabled (help and settings have no disabled one).
    std::array<std::array<QPixmap, 3>, kBarButtonCount> looks_;
    // The look each button shows (none: no picture of its own yet), and the density drawn for.
    std::array<std::optional<Look>, kBarButtonCount> shown_{};
    qreal skinRatio_ = 0.0;
};

} // namespace brevon
