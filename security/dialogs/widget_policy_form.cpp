#include "widget_policy_form.h"

#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>

namespace {

// The tab widget whose page the object is, if it is one.
QTabWidget* tabOf(QObject* object, int& index)
{
    auto* page = qobject_cast<QWidget*>(object);
    auto* stack = page ? qobject_cast<QStackedWidget*>(page->parentWidget()) : nullptr;
    auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
    index = tabs ? tabs->indexOf(page) : -1;
    return index >= 0 ? tabs : nullptr;
}

void setIfPresent(QObject* object, const char* property, bool value)
{
    if (object->metaObject()->indexOfProperty(property) >= 0)
        object->setProperty(property, value);
}

} // namespace

std::string TWidgetPolicyForm::FormName() const
{
    return form_.objectName().toStdString();
}

bool TWidgetPolicyForm::HasComponent(const std::string& name) const
{
    return form_.findChild<QObject*>(QString::fromStdString(name)) != nullptr;
}

void TWidgetPolicyForm::Secure(const std::string& name, TPolicyAction action, bool secure)
{
    QObject* component = form_.findChild<QObject*>(QString::fromStdString(name));
    if (!component)
        return;
    int tabIndex = -1;
    QTabWidget* tabs = tabOf(component, tabIndex);
    switch (action) {
    case TPolicyAction::paDisable: setIfPresent(component, "enabled", !secure); break;
    case TPolicyAction::paHide:
        if (tabs)
            tabs->setTabVisible(tabIndex, !secure);
        else
            setIfPresent(component, "visible", !secure);
        break;
    // A restricted component is read-only; a released one may be edited.
    case TPolicyAction::paReadOnly: setIfPresent(component, "readOnly", secure); break;
    case TPolicyAction::paCustom: break;
    }
}
