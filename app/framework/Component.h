#pragma once
// The base of every owned part of a window: it has an owner that frees it,
// a loading state, and it hears when a component it refers to goes.
#include <vector>

namespace pwg {

enum class Operation { Insert, Remove };

class Component {
public:
    explicit Component(Component* owner = nullptr);
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;
    virtual ~Component();

    Component* Owner() const { return owner_; }
    const std::vector<Component*>& Components() const { return components_; }

    bool Loading() const { return loading_; }
    // Marks this component and those it owns as loading; EndLoading clears
    // the mark and tells each one, owner last, that its settings are in.
    void BeginLoading();
    void EndLoading();

    // Asks to hear (through Notification) when the other component is destroyed.
    void FreeNotification(Component* other);
    void RemoveFreeNotification(Component* other);

protected:
    virtual void Loaded() {}
    virtual void Notification(Component* component, Operation operation);
    // Frees the owned components now (a window frees them before its handle).
    void DestroyComponents();

private:
    void Insert(Component* child);
    void Remove(Component* child);

    Component* owner_ = nullptr;
    std::vector<Component*> components_;
    std::vector<Component*> listeners_;
    bool loading_ = false;
};

}  // namespace pwg
