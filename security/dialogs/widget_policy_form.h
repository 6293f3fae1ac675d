#pragma once
// A Qt window as a form policy restricts it: components are the window's widgets and actions,
// found by object name. Hiding a tab page hides its tab.

#include "security/form_policy.h"

class QWidget;

class TWidgetPolicyForm : public TuilPolicyForm {
public:
    explicit TWidgetPolicyForm(QWidget& form) : form_(form) {}

    std::string FormName() const override;
    bool HasComponent(const std::string& name) const override;
    void Secure(const std::string& name, TPolicyAction action, bool secure) override;

private:
    QWidget& form_;
};
