#include "cli/progress.h"

#include "cli/console.h"

#include <algorithm>
#include <cstdio>

namespace korvane::cli {

ProgressBar::ProgressBar(std::string label)
    : label_(std::move(label)), enabled_(ProgressWanted()) {}

ProgressBar::~ProgressBar() { Finish(); }

void ProgressBar::Update(double fraction) {
    if (!enabled_ || finished_) return;
    const int percent = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100.0);
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", label_.c_str(), filled,
                 "========================================", kWidth - filled, "", percent);
    std::fflush(stderr);
}

void ProgressBar::Finish() {
    if (!enabled_ || finished_) return;
    finished_ = true;
    if (lastPercent_ >= 0) std::fputc('\n', stderr);
}

}  // namespace korvane::cli
