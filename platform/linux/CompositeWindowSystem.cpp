// Several window systems as one: an id carries the number of the part that
// listed the window in its top byte (X11 ids use 29 bits, Wayland ids are
// counted from 1), so every request goes back to that part.
#include "platform/linux/LinuxPlatform.h"

namespace rm {
namespace {

constexpr int kPartShift = 56;
constexpr WindowSystem::WindowId kInnerMask = (WindowSystem::WindowId(1) << kPartShift) - 1;

class CompositeWindowSystem : public WindowSystem {
  public:
    explicit CompositeWindowSystem(std::vector<std::unique_ptr<WindowSystem>> parts)
        : parts_(std::move(parts)) {}

    std::vector<WindowId> TopLevelWindows() override {
        std::vector<WindowId> ids;
        for (size_t i = 0; i < parts_.size(); ++i)
            for (WindowId w : parts_[i]->TopLevelWindows())
                if (w <= kInnerMask) ids.push_back(WindowId(i) << kPartShift | w);
        return ids;
    }
    std::string TitleOf(WindowId w) override {
        WindowSystem* part = PartOf(w);
        return part ? part->TitleOf(w & kInnerMask) : std::string();
    }
    void RequestClose(WindowId w) override {
        if (WindowSystem* part = PartOf(w)) part->RequestClose(w & kInnerMask);
    }
    void Minimize(WindowId w) override {
        if (WindowSystem* part = PartOf(w)) part->Minimize(w & kInnerMask);
    }

  private:
    WindowSystem* PartOf(WindowId w) {
        const size_t i = size_t(w >> kPartShift);
        return i < parts_.size() ? parts_[i].get() : nullptr;
    }
    std::vector<std::unique_ptr<WindowSystem>> parts_;
};

}  // namespace

std::unique_ptr<WindowSystem> MakeCompositeWindowSystem(
    std::vector<std::unique_ptr<WindowSystem>> parts) {
    return std::make_unique<CompositeWindowSystem>(std::move(parts));
}

}  // namespace rm
