#include "platform/display_power.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/display_power_choice.h"
#include "platform/gnome/gnome_display_power.h"
#include "platform/wayland_output/output_power.h"
#include "platform/x11/x11_display_power.h"

namespace {

class X11DisplayPower final : public DisplayPower {
public:
    void Off() override { x11::MonitorOff(); }
    void Wake() override { x11::MonitorWake(); }
};

// Every output off, or on again. A wlroots compositor keeps them off until a client switches them on;
// KWin also wakes them at the user's own input.
class WaylandOutputPower final : public DisplayPower {
public:
    explicit WaylandOutputPower(wayland_output::PowerProtocol protocol) : protocol_(protocol) {}
    void Off() override { wayland_output::SetPower(protocol_, false); }
    void Wake() override { wayland_output::SetPower(protocol_, true); }

private:
    wayland_output::PowerProtocol protocol_;
};

}  // namespace

std::unique_ptr<DisplayPower> MakeDisplayPower() {
    using wayland_output::PowerProtocol;
    // The compositor's registry is read once, when a protocol is first in question.
    std::optional<std::vector<PowerProtocol>> offered;
    const auto compositorOffers = [&](PowerProtocol protocol) {
        if (!offered) offered = wayland_output::OfferedPowerProtocols();
        return std::find(offered->begin(), offered->end(), protocol) != offered->end();
    };
    for (const DisplayPowerMeans means : DisplayPowerOrder(CurrentDisplayPowerSession())) {
        switch (means) {
            case DisplayPowerMeans::GnomeDisplayConfig:
                if (gnome::DisplayConfigOffered()) return std::make_unique<gnome::MutterDisplayPower>();
                break;
            case DisplayPowerMeans::WlrOutputPower:
                if (compositorOffers(PowerProtocol::Wlr))
                    return std::make_unique<WaylandOutputPower>(PowerProtocol::Wlr);
                break;
            case DisplayPowerMeans::KdeDpms:
                if (compositorOffers(PowerProtocol::KdeDpms))
                    return std::make_unique<WaylandOutputPower>(PowerProtocol::KdeDpms);
                break;
            case DisplayPowerMeans::X11:
                return std::make_unique<X11DisplayPower>();
        }
    }
    return std::make_unique<X11DisplayPower>();
}
