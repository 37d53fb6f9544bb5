#include "platform/dispatch/DispatchQoS.h"

namespace platform {

std::string_view toString(DispatchQoS qos) {
    switch (qos) {
        case DispatchQoS::background:
            return "background";
        case DispatchQoS::utility:
            return "utility";
        case DispatchQoS::defaultQoS:
            return "default";
        case DispatchQoS::userInitiated:
            return "userInitiated";
        case DispatchQoS::userInteractive:
            return "userInteractive";
    }
    return "unknown";
}

}  // namespace platform
