#include "BarAccessible.h"

#include <optional>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>

#include "BarWindow.h"

namespace brevon {

namespace {

// The bar of a picture button, and which of its buttons it is (none for the background).
struct Found {
    TfrmBrevon* bar;
    BarButton button;
};

std::optional<Found> FindButton(QObject* object) {
    auto* control = qobject_cast<PictureControl*>(object);
    if (!control) return std::nullopt;
    auto* bar = qobject_cast<TfrmBrevon*>(control->parentWidget());
    if (!bar) return std::nullopt;
    const std::optional<BarButton> button = bar->ButtonOf(control);
    if (!button) return std::nullopt;
    return Found{bar, *button};
}

class BarButtonAccessible final : public QAccessibleWidget {
public:
    BarButtonAccessible(QWidget* control, TfrmBrevon* bar, BarButton button)
        : QAccessibleWidget(control, QAccessible::Button), bar_(bar), button_(button) {}

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name:
            return bar_->ButtonName(button_);
        case QAccessible::Description: {
            // An empty hint shows the bar's, as the mouse user sees it.
            const QString hint = widget()->toolTip();
            return hint.isEmpty() ? bar_->toolTip() : hint;
        }
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        // A reading button goes by its action: the action changes first, and its change is what
        // tells the bus, which asks for the new state at once (the bar's own flag follows later).
        const QAction* action = bar_->Actions().Action(button_);
        if (action ? !action->isEnabled() : !bar_->Bar().IsEnabled(button_)) s.disabled = true;
        return s;
    }

    // A disabled button offers no press, as Qt's own buttons do.
    QStringList actionNames() const override {
        if (state().disabled) return {};
        return {pressAction()};
    }

    void doAction(const QString& actionName) override {
        if (actionName == pressAction() && !state().disabled) bar_->Press(button_);
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    TfrmBrevon* bar_;
    BarButton button_;
};

// The bar: a tool bar "Brevon" whose children are its buttons. The skin's background picture
// is decoration and is left out, so a screen reader reviewing the bar meets no nameless image.
class BarAccessible final : public QAccessibleWidget {
public:
    explicit BarAccessible(TfrmBrevon* bar)
        : QAccessibleWidget(bar, QAccessible::ToolBar, QStringLiteral("Brevon")) {}

    int childCount() const override { return static_cast<int>(Buttons().size()); }

    QAccessibleInterface* child(int index) const override {
        const QList<QAccessibleInterface*> buttons = Buttons();
        return index >= 0 && index < buttons.size() ? buttons[index] : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        return static_cast<int>(Buttons().indexOf(const_cast<QAccessibleInterface*>(child)));
    }

private:
    QList<QAccessibleInterface*> Buttons() const {
        QList<QAccessibleInterface*> buttons;
        for (int i = 0; i < QAccessibleWidget::childCount(); ++i) {
            QAccessibleInterface* child = QAccessibleWidget::child(i);
            if (child && FindButton(child->object())) buttons.append(child);
        }
        return buttons;
    }
};

QAccessibleInterface* Factory(const QString&, QObject* object) {
    if (auto* bar = qobject_cast<TfrmBrevon*>(object)) return new BarAccessible(bar);
    if (const std::optional<Found> found = FindButton(object))
        return new BarButtonAccessible(static_cast<QWidget*>(object), found->bar, found->button);
    return nullptr;
}

} // namespace

void InstallBarAccessibility() {
    // Qt keeps a factory only once however often it is installed.
    QAccessible::installFactory(Factory);
}

void AnnounceEnabledChange(QWidget* control) {
    QAccessible::State changed;
    changed.disabled = true;
    QAccessibleStateChangeEvent event(control, changed);
    QAccessible::updateAccessibility(&event);
}

void AnnounceDescriptionChange(QWidget* control) {
    QAccessibleEvent event(control, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
}

} // namespace brevon
