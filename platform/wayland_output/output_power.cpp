#include "platform/wayland_output/output_power.h"

#include <poll.h>
#include <wayland-client.h>

#include <QDeadlineTimer>
#include <QDebug>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "dpms-client-protocol.h"
#include "wlr-output-power-management-unstable-v1-client-protocol.h"

namespace wayland_output {

namespace {

// How long the compositor has to answer one round of requests.
constexpr int kAnswerMs = 1000;

// One short connection to the compositor, with its outputs and power managers bound as its registry
// announces them.
class Connection final {
public:
    Connection() : display_(wl_display_connect(nullptr)) {
        if (!display_) return;
        registry_ = wl_display_get_registry(display_);
        wl_registry_add_listener(registry_, &kRegistryListener, this);
        answered_ = Roundtrip();
    }
    ~Connection() {
        if (wlr) zwlr_output_power_manager_v1_destroy(wlr);
        if (kde) org_kde_kwin_dpms_manager_destroy(kde);
        for (wl_output* output : outputs) wl_output_destroy(output);
        if (registry_) wl_registry_destroy(registry_);
        if (display_) wl_display_disconnect(display_);
    }
    Q_DISABLE_COPY_MOVE(Connection)

    // Whether the compositor was reached and announced its globals.
    bool Answered() const { return answered_; }

    // Waits until the compositor has handled every request sent so far and its events are dispatched, or
    // kAnswerMs has passed, or the connection broke; true in the first case.
    bool Roundtrip() {
        bool done = false;
        wl_callback* callback = wl_display_sync(display_);
        wl_callback_add_listener(callback, &kDoneListener, &done);
        const QDeadlineTimer deadline(kAnswerMs);
        while (!done) {
            if (wl_display_flush(display_) < 0 && errno != EAGAIN) break;
            pollfd readable{wl_display_get_fd(display_), POLLIN, 0};
            const int remaining = int(deadline.remainingTime());
            if (remaining <= 0 || poll(&readable, 1, remaining) <= 0) break;
            if (wl_display_dispatch(display_) < 0) break;
        }
        if (!done) wl_callback_destroy(callback);
        return done;
    }

    std::vector<wl_output*> outputs;
    zwlr_output_power_manager_v1* wlr = nullptr;
    org_kde_kwin_dpms_manager* kde = nullptr;

private:
    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
        auto* self = static_cast<Connection*>(data);
        const auto is = [interface](const wl_interface& wanted) {
            return std::strcmp(interface, wanted.name) == 0;
        };
        const auto bind = [&](const wl_interface& wanted) {
            return wl_registry_bind(registry, name, &wanted, 1);
        };
        if (is(wl_output_interface))
            self->outputs.push_back(static_cast<wl_output*>(bind(wl_output_interface)));
        else if (is(zwlr_output_power_manager_v1_interface) && !self->wlr)
            self->wlr =
                static_cast<zwlr_output_power_manager_v1*>(bind(zwlr_output_power_manager_v1_interface));
        else if (is(org_kde_kwin_dpms_manager_interface) && !self->kde)
            self->kde = static_cast<org_kde_kwin_dpms_manager*>(bind(org_kde_kwin_dpms_manager_interface));
    }
    static void globalRemove(void*, wl_registry*, uint32_t) {}
    static constexpr wl_registry_listener kRegistryListener{global, globalRemove};

    static void callbackDone(void* data, wl_callback* callback, uint32_t) {
        *static_cast<bool*>(data) = true;
        wl_callback_destroy(callback);
    }
    static constexpr wl_callback_listener kDoneListener{callbackDone};

    wl_display* display_;
    wl_registry* registry_ = nullptr;
    bool answered_ = false;
};

// What the compositor said of one output's power control.
struct OutputAnswer {
    bool refused = false;
};

// wlroots: a control per output, set at once; "failed" when the output cannot, or another client holds it.
const zwlr_output_power_v1_listener kWlrListener{
    [](void*, zwlr_output_power_v1*, uint32_t) {},
    [](void* data, zwlr_output_power_v1*) { static_cast<OutputAnswer*>(data)->refused = true; },
};

// KWin: "supported" 0 for an output without DPMS.
const org_kde_kwin_dpms_listener kKdeListener{
    [](void* data, org_kde_kwin_dpms*, uint32_t supported) {
        if (!supported) static_cast<OutputAnswer*>(data)->refused = true;
    },
    [](void*, org_kde_kwin_dpms*, uint32_t) {},
    [](void*, org_kde_kwin_dpms*) {},
};

const char* nameOf(PowerProtocol protocol) {
    return protocol == PowerProtocol::Wlr ? "wlr-output-power-management" : "KWin's DPMS";
}

}  // namespace

std::vector<PowerProtocol> OfferedPowerProtocols() {
    const Connection connection;
    std::vector<PowerProtocol> offered;
    if (!connection.Answered()) return offered;
    if (connection.wlr) offered.push_back(PowerProtocol::Wlr);
    if (connection.kde) offered.push_back(PowerProtocol::KdeDpms);
    return offered;
}

void SetPower(PowerProtocol protocol, bool on) {
    Connection connection;
    const bool managed =
        protocol == PowerProtocol::Wlr ? connection.wlr != nullptr : connection.kde != nullptr;
    if (!connection.Answered() || !managed) {
        qWarning().noquote() << "Monitor" << (on ? "on" : "off") << "through" << nameOf(protocol)
                             << ": the Wayland compositor does not offer it";
        return;
    }
    std::vector<OutputAnswer> answers(connection.outputs.size());
    std::vector<zwlr_output_power_v1*> wlrControls;
    std::vector<org_kde_kwin_dpms*> kdeControls;
    for (size_t i = 0; i < connection.outputs.size(); ++i) {
        if (protocol == PowerProtocol::Wlr) {
            auto* control =
                zwlr_output_power_manager_v1_get_output_power(connection.wlr, connection.outputs[i]);
            zwlr_output_power_v1_add_listener(control, &kWlrListener, &answers[i]);
            zwlr_output_power_v1_set_mode(control,
                                          on ? ZWLR_OUTPUT_POWER_V1_MODE_ON : ZWLR_OUTPUT_POWER_V1_MODE_OFF);
            wlrControls.push_back(control);
        } else {
            auto* control = org_kde_kwin_dpms_manager_get(connection.kde, connection.outputs[i]);
            org_kde_kwin_dpms_add_listener(control, &kKdeListener, &answers[i]);
            org_kde_kwin_dpms_set(control, on ? ORG_KDE_KWIN_DPMS_MODE_ON : ORG_KDE_KWIN_DPMS_MODE_OFF);
            kdeControls.push_back(control);
        }
    }
    const bool answered = connection.Roundtrip();
    // Closing the connection releases the controls in the compositor too.
    for (zwlr_output_power_v1* control : wlrControls) zwlr_output_power_v1_destroy(control);
    for (org_kde_kwin_dpms* control : kdeControls) org_kde_kwin_dpms_release(control);
    const auto refused =
        std::count_if(answers.begin(), answers.end(), [](const OutputAnswer& a) { return a.refused; });
    if (!answered || refused)
        qWarning().noquote()
            << "Monitor" << (on ? "on" : "off") << "through" << nameOf(protocol) << ":"
            << (answered ? QStringLiteral("%1 of %2 outputs refused").arg(refused).arg(answers.size())
                         : QStringLiteral("the compositor did not answer"));
}

}  // namespace wayland_output
