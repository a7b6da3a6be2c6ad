#include "app/framework/Component.h"

#include <algorithm>

namespace pwg {

Component::Component(Component* owner) : owner_(owner) {
    if (owner_) owner_->Insert(this);
}

Component::~Component() {
    // Everyone that refers to this component hears of its going first.
    const std::vector<Component*> listeners = listeners_;
    for (Component* c : listeners) {
        c->RemoveFreeNotification(this);
        c->Notification(this, Operation::Remove);
    }
    DestroyComponents();
    if (owner_) owner_->Remove(this);
}

void Component::BeginLoading() {
    loading_ = true;
    for (Component* c : components_) c->BeginLoading();
}

void Component::EndLoading() {
    for (Component* c : components_) c->EndLoading();
    loading_ = false;
    Loaded();
}

void Component::FreeNotification(Component* other) {
    if (!other || other == this) return;
    if (std::find(other->listeners_.begin(), other->listeners_.end(), this) == other->listeners_.end())
        other->listeners_.push_back(this);
    if (std::find(listeners_.begin(), listeners_.end(), other) == listeners_.end()) listeners_.push_back(other);
}

void Component::RemoveFreeNotification(Component* other) {
    std::erase(listeners_, other);
    std::erase(other->listeners_, this);
}

void Component::Notification(Component* component, Operation operation) {
    // The owner hears of its components coming and going, and passes it on.
    const std::vector<Component*> components = components_;
    for (Component* c : components)
        if (c != component) c->Notification(component, operation);
}

void Component::DestroyComponents() {
    while (!components_.empty()) delete components_.back();
}

void Component::Insert(Component* child) {
    components_.push_back(child);
    Notification(child, Operation::Insert);
}

void Component::Remove(Component* child) {
    std::erase(components_, child);
    Notification(child, Operation::Remove);
    child->owner_ = nullptr;
}

}  // namespace pwg
