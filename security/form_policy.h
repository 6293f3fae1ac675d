#pragma once
// Form policies: named components of a form restricted by permission. Each item names a
// permission, a kind of restriction and the components it applies to; applying the policy first
// restricts the components of every item and then lifts each item whose permission the current
// user holds. The items are loaded from the Permissions rows of the form.

#include "security_manager.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class TPolicyAction : std::uint8_t { paDisable = 0, paHide = 1, paCustom = 2, paReadOnly = 3 };

// The form whose components a policy restricts, as the policy sees it.
class TuilPolicyForm {
public:
    virtual std::string FormName() const = 0;
    virtual bool HasComponent(const std::string& name) const = 0;
    // Restricts (secure true) or releases one component; a component without the property the
    // action sets is left alone.
    virtual void Secure(const std::string& name, TPolicyAction action, bool secure) = 0;

protected:
    ~TuilPolicyForm() = default;
};

class TuilFormPolicy;

class TuilPolicyItem {
public:
    TuilPolicyItem(TuilFormPolicy& policy, std::string name, std::vector<std::string> items, TPolicyAction action)
        : PolicyName(std::move(name)), Items(std::move(items)), PolicyAction(action), policy_(&policy)
    {
    }

    std::string PolicyName;
    std::vector<std::string> Items;
    TPolicyAction PolicyAction;

    void Secure(bool flag) const;

private:
    TuilFormPolicy* policy_;
};

// A comma-separated list as the Items column holds it: commas and blanks separate entries,
// double quotes group an entry that holds either.
std::vector<std::string> splitCommaText(const std::string& text);

class TuilFormPolicy : public TuilRegisteredPolicy {
public:
    explicit TuilFormPolicy(TuilPolicyForm& form) : form_(form) {}
    ~TuilFormPolicy();
    TuilFormPolicy(const TuilFormPolicy&) = delete;
    TuilFormPolicy& operator=(const TuilFormPolicy&) = delete;

    bool Active = true;
    std::vector<TuilPolicyItem> Policies;
    static constexpr const char* Version = "2.3.0.0";
    std::function<void(TuilFormPolicy& sender, const std::string& component, bool secure)> OnCustomSecure;

    TuilSecurityManager* SecurityManager() const { return manager_; }
    // Unregisters from the previous manager and registers with the new one.
    void SetSecurityManager(TuilSecurityManager* manager);

    // Once the form is built: loads the items of the form and, when active under an active
    // manager, applies them.
    void Loaded();
    void ApplyPolicies() override;
    // Rebuilds the items from the form's Permissions rows.
    void LoadPolicies(const std::string& formName);

    TuilPolicyForm& Form() const { return form_; }
    void DoCustomSecure(const std::string& component, bool secure);

private:
    void SecurityManagerReleased() override { manager_ = nullptr; }

    TuilPolicyForm& form_;
    TuilSecurityManager* manager_ = nullptr;
};
