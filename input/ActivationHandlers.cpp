#include "input/ActivationHandlers.h"

namespace sumiro {
namespace {

class Watch final : public ActivationWatch {
public:
    Watch(std::weak_ptr<std::map<int, ActivationHandlers::Handler>> handlers, int id)
        : handlers_(std::move(handlers)), id_(id) {}
    ~Watch() override {
        if (auto handlers = handlers_.lock()) handlers->erase(id_);
    }

private:
    std::weak_ptr<std::map<int, ActivationHandlers::Handler>> handlers_;
    int id_;
};

}  // namespace

std::unique_ptr<ActivationWatch> ActivationHandlers::add(Handler handler) {
    const int id = next_++;
    handlers_->emplace(id, std::move(handler));
    return std::make_unique<Watch>(handlers_, id);
}

void ActivationHandlers::notify(const std::optional<Application>& app) const {
    const Map snapshot = *handlers_;
    for (const auto& [id, handler] : snapshot) {
        if (handlers_->contains(id)) handler(app);
    }
}

}  // namespace sumiro
