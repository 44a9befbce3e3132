#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "input/InputPlatform.h"

namespace sumiro {

/// The handlers of `InputPlatform::watchActivations`, shared by the platform implementations.
class ActivationHandlers {
public:
    using Handler = std::function<void(std::optional<Application>)>;

    /// Registers handler until the returned watch is destroyed (it may outlive this object).
    std::unique_ptr<ActivationWatch> add(Handler handler);
    /// Calls every handler in the order of registration; any of them may drop a watch meanwhile.
    void notify(const std::optional<Application>& app) const;

private:
    using Map = std::map<int, Handler>;
    std::shared_ptr<Map> handlers_ = std::make_shared<Map>();
    int next_ = 0;
};

}  // namespace sumiro
