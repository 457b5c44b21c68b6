#include "platform/desktop_factory.h"

#include "platform/linux/logind_power.h"
#include "platform/x11/x11_display_power.h"
#include "platform/x11/x11_windows.h"

namespace {

class SessionDesktop final : public Desktop {
public:
    std::unique_ptr<ScreenCapture> MakeCapture(const CaptureHooks& hooks) override {
        return MakeScreenCapture(hooks);
    }
    bool WindowExists(const QString& title) override { return TopLevelWindowExists(title); }
    void MonitorOff() override { x11::MonitorOff(); }
    void MonitorWake() override { x11::MonitorWake(); }
    void PowerOff(const Guard& guard) override { logind::PowerOff(guard); }
    void Bell() override { RingBell(); }
    void MakeToolFrame(unsigned long window) override { ::MakeToolFrame(window); }
};

}  // namespace

std::unique_ptr<Desktop> MakeDesktop() {
    return std::make_unique<SessionDesktop>();
}
