#include "platform/desktop_factory.h"

#include "platform/display_power.h"
#include "platform/linux/logind_power.h"
#include "platform/x11/x11_windows.h"

namespace {

class SessionDesktop final : public Desktop {
public:
    std::unique_ptr<ScreenCapture> MakeCapture(const CaptureHooks& hooks) override {
        return MakeScreenCapture(hooks);
    }
    bool WindowExists(const QString& title) override { return TopLevelWindowExists(title); }
    void MonitorOff() override { power().Off(); }
    void MonitorWake() override { power().Wake(); }
    void PowerOff(const Guard& guard) override { logind::PowerOff(guard); }
    void Bell() override { RingBell(); }
    void MakeToolFrame(unsigned long window) override { ::MakeToolFrame(window); }

private:
    // Chosen at first use, from the session as it is then.
    DisplayPower& power() {
        if (!power_) power_ = MakeDisplayPower();
        return *power_;
    }

    std::unique_ptr<DisplayPower> power_;
};

}  // namespace

std::unique_ptr<Desktop> MakeDesktop() {
    return std::make_unique<SessionDesktop>();
}
