#include "desktop/controls/KSkinAccessible.h"

#include "desktop/controls/CLabel.h"
#include "desktop/controls/CShowTime.h"
#include "desktop/controls/KAnimatedPopup.h"
#include "desktop/controls/KButton.h"
#include "desktop/controls/KScrollButtonSkin.h"
#include "desktop/controls/KShowPercentsCtrl.h"

#include <QAccessibleWidget>

#include <mutex>

namespace {

QString NameOf(const QWidget* w, const QString& fallback) {
    return w->accessibleName().isEmpty() ? fallback : w->accessibleName();
}

class KButtonAccessible : public QAccessibleWidget {
public:
    explicit KButtonAccessible(KButton* b, QAccessible::Role role = QAccessible::Button) : QAccessibleWidget(b, role) {
        addControllingSignal(QStringLiteral("command(int)"));
    }
    KButton* Button() const { return static_cast<KButton*>(widget()); }

    QString text(QAccessible::Text t) const override {
        switch (t) {
            case QAccessible::Name: return NameOf(Button(), Button()->WindowText());
            case QAccessible::Description: return Button()->ToolTip().Text();
            default: return QAccessibleWidget::text(t);
        }
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        const bool latching = Button()->GetStyle() & KButton::kStyleLatching;
        s.checkable = latching;
        s.checked = latching && Button()->IsLatched();
        s.pressed = (Button()->GetState() & KButton::kPressed) && !Button()->IsLatched();
        s.hotTracked = Button()->GetState() & KButton::kHover;
        s.disabled = !Button()->isEnabled();
        return s;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction()) Button()->Click();
    }
};

class KThumbAccessible : public KButtonAccessible, public QAccessibleValueInterface {
public:
    explicit KThumbAccessible(KScrollButtonSkin* t) : KButtonAccessible(t, QAccessible::Slider) {}
    KScrollButtonSkin* Thumb() const { return static_cast<KScrollButtonSkin*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return KButtonAccessible::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return Thumb()->WindowText();
        if (t == QAccessible::Name) return NameOf(Thumb(), QStringLiteral("Position"));
        return KButtonAccessible::text(t);
    }
    QVariant currentValue() const override { return Thumb()->GetValue(); }
    void setCurrentValue(const QVariant& value) override { Thumb()->MoveTo(value.toLongLong()); }
    QVariant maximumValue() const override { return Thumb()->GetHigh() - Thumb()->GetLow(); }
    QVariant minimumValue() const override { return qint64(0); }
    QVariant minimumStepSize() const override { return KScrollButtonSkin::kKeyStepMs; }
};

template <class Display>
class KDisplayAccessible : public QAccessibleWidget {
public:
    explicit KDisplayAccessible(Display* d) : QAccessibleWidget(d, QAccessible::StaticText) {}
    QString text(QAccessible::Text t) const override {
        auto* d = static_cast<Display*>(widget());
        if (t == QAccessible::Value) return d->Text();
        if (t == QAccessible::Name) return NameOf(d, d->Text());
        return QAccessibleWidget::text(t);
    }
};

class KNoticeAccessible : public QAccessibleWidget {
public:
    explicit KNoticeAccessible(KAnimatedPopup* p) : QAccessibleWidget(p, QAccessible::AlertMessage) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name || t == QAccessible::Description)
            return static_cast<KAnimatedPopup*>(widget())->Text();
        return QAccessibleWidget::text(t);
    }
};

class KLabelAccessible : public QAccessibleWidget {
public:
    explicit KLabelAccessible(CLabel* l) : QAccessibleWidget(l, QAccessible::StaticText) {}
    CLabel* Label() const { return static_cast<CLabel*>(widget()); }
    QAccessible::Role role() const override { return Label()->IsLink() ? QAccessible::Link : QAccessible::StaticText; }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return NameOf(Label(), Label()->Text());
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override {
        return Label()->IsLink() ? QStringList{pressAction()} : QStringList{};
    }
    void doAction(const QString& name) override {
        if (name == pressAction()) Label()->Activate();
    }
};

QAccessibleInterface* Factory(const QString&, QObject* object) {
    if (!object || !object->isWidgetType()) return nullptr;
    if (auto* t = qobject_cast<KScrollButtonSkin*>(object)) return new KThumbAccessible(t);
    if (auto* b = qobject_cast<KButton*>(object)) return new KButtonAccessible(b);
    if (auto* time = qobject_cast<CShowTime*>(object)) return new KDisplayAccessible<CShowTime>(time);
    if (auto* pc = qobject_cast<KShowPercentsCtrl*>(object)) return new KDisplayAccessible<KShowPercentsCtrl>(pc);
    if (auto* n = qobject_cast<KAnimatedPopup*>(object)) return new KNoticeAccessible(n);
    if (auto* l = qobject_cast<CLabel*>(object)) return new KLabelAccessible(l);
    return nullptr;
}

}  // namespace

void AnnounceValue(QObject* object, const QVariant& value) {
    if (!object || !QAccessible::isActive()) return;
    QAccessibleValueChangeEvent event(object, value);
    QAccessible::updateAccessibility(&event);
}

void AnnounceChecked(QObject* object) {
    if (!object || !QAccessible::isActive()) return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(object, changed);
    QAccessible::updateAccessibility(&event);
}

void AnnounceName(QObject* object) {
    if (!object || !QAccessible::isActive()) return;
    QAccessibleEvent event(object, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

void AnnounceAlert(QObject* object) {
    if (!object || !QAccessible::isActive()) return;
    QAccessibleEvent event(object, QAccessible::Alert);
    QAccessible::updateAccessibility(&event);
}

void InstallSkinAccessibility() {
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(Factory); });
}
