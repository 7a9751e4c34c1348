#include "antlink/MessageQueue.h"

#include <algorithm>

namespace fota {

TChannelGenericQueue::TChannelGenericQueue(std::size_t /*capacity*/) {}

void TChannelGenericQueue::Push(std::unique_ptr<TANTGenericMessage> message) {
    std::lock_guard lock(mutex_);
    items_.push_back(std::move(message));
    peak_ = std::max(peak_, items_.size());
}

std::size_t TChannelGenericQueue::Count() const {
    std::lock_guard lock(mutex_);
    return items_.size();
}

std::unique_ptr<TANTGenericMessage> TChannelGenericQueue::Pop() {
    std::lock_guard lock(mutex_);
    if (items_.empty()) {
        return nullptr;
    }
    auto m = std::move(items_.front());
    items_.pop_front();
    return m;
}

std::size_t TChannelGenericQueue::Peak() const {
    std::lock_guard lock(mutex_);
    return peak_;
}

}  // namespace fota
