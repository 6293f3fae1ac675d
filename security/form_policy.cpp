#include "form_policy.h"

#include "sql_table.h"

std::vector<std::string> splitCommaText(const std::string& text)
{
    std::vector<std::string> entries;
    std::size_t i = 0;
    const auto separator = [](char c) { return c == ',' || static_cast<unsigned char>(c) <= ' '; };
    while (i < text.size()) {
        while (i < text.size() && separator(text[i]))
            ++i;
        if (i >= text.size())
            break;
        std::string entry;
        if (text[i] == '"') {
            // A doubled quote inside a quoted entry stands for one quote.
            for (++i; i < text.size(); ++i) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        entry += '"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                entry += text[i];
            }
        } else {
            while (i < text.size() && !separator(text[i]))
                entry += text[i++];
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

void TuilPolicyItem::Secure(bool flag) const
{
    TuilPolicyForm& form = policy_->Form();
    for (const std::string& name : Items) {
        if (!form.HasComponent(name))
            continue;
        switch (PolicyAction) {
        case TPolicyAction::paDisable:
        case TPolicyAction::paHide:
        case TPolicyAction::paReadOnly: form.Secure(name, PolicyAction, flag); break;
        case TPolicyAction::paCustom: policy_->DoCustomSecure(name, flag); break;
        default: break; // an action this program does not know restricts nothing
        }
    }
}

TuilFormPolicy::~TuilFormPolicy()
{
    SetSecurityManager(nullptr);
}

void TuilFormPolicy::SetSecurityManager(TuilSecurityManager* manager)
{
    if (manager_)
        manager_->UnregisterPolicy(this);
    manager_ = manager;
    if (manager_)
        manager_->RegisterPolicy(this);
}

void TuilFormPolicy::Loaded()
{
    LoadPolicies(form_.FormName());
    if (Active && manager_ && manager_->Active)
        ApplyPolicies();
}

void TuilFormPolicy::ApplyPolicies()
{
    for (const TuilPolicyItem& item : Policies)
        item.Secure(true);
    for (const TuilPolicyItem& item : Policies)
        if (manager_ && manager_->HasPermission(item.PolicyName))
            item.Secure(false);
}

void TuilFormPolicy::LoadPolicies(const std::string& formName)
{
    if (!manager_)
        return;
    const TuilPermissionBindary& binding = manager_->PermissionBindary;
    SqlTable* table = binding.DataSet();
    if (binding.Storage != TuilPermissionStorage::psTable || !table)
        return;
    table->Open();
    table->SetFilter(binding.FormNameField, formName);
    table->SetFiltered(true);
    Policies.clear();
    for (table->First(); !table->Eof(); table->Next()) {
        const auto action =
            static_cast<TPolicyAction>(static_cast<std::uint8_t>(table->AsInteger(binding.ActionField)));
        Policies.emplace_back(*this, table->AsString(binding.PermissionField),
                              splitCommaText(table->AsString(binding.ItemField)), action);
    }
    table->SetFiltered(false);
    table->ClearFilter();
}

void TuilFormPolicy::DoCustomSecure(const std::string& component, bool secure)
{
    if (OnCustomSecure)
        OnCustomSecure(*this, component, secure);
}
