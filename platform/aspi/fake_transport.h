#pragma once
// Test double of the SG_IO seam: replays scripted answers (data, status, sense) in order
// and records every CDB it was given.
#include "platform/aspi/transport.h"

#include <algorithm>
#include <deque>
#include <mutex>

namespace korvane::aspi {

class FakeTransport final : public ScsiTransport {
public:
    struct Answer {
        std::vector<std::uint8_t> data;  // copied to the front of the data buffer
        ScsiOutcome outcome;
    };

    void Queue(Answer answer) {
        std::lock_guard lock(mutex_);
        answers_.push_back(std::move(answer));
    }
    std::vector<std::vector<std::uint8_t>> ReceivedCdbs() const {
        std::lock_guard lock(mutex_);
        return cdbs_;
    }

    ScsiOutcome Execute(const ScsiRequest& request) override {
        std::lock_guard lock(mutex_);
        cdbs_.emplace_back(request.cdb.begin(), request.cdb.end());
        if (answers_.empty()) {
            ScsiOutcome failed;
            failed.systemError = 5;  // EIO: the script ran out
            return failed;
        }
        Answer answer = std::move(answers_.front());
        answers_.pop_front();
        std::copy_n(answer.data.begin(), std::min(answer.data.size(), request.data.size()), request.data.begin());
        return answer.outcome;
    }

private:
    mutable std::mutex mutex_;
    std::deque<Answer> answers_;
    std::vector<std::vector<std::uint8_t>> cdbs_;
};

}  // namespace korvane::aspi
