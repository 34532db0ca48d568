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
    Draw();
}

void ProgressBar::SetNote(std::string note) {
    if (!enabled_ || finished_ || note == note_) return;
    // Blanks cover the end of a longer note drawn before.
    const std::size_t shorter = note.size() < note_.size() ? note_.size() - note.size() : 0;
    note_ = std::move(note);
    if (lastPercent_ < 0) lastPercent_ = 0;
    Draw();
    std::fprintf(stderr, "%*s", static_cast<int>(shorter), "");
    std::fflush(stderr);
}

void ProgressBar::Draw() {
    constexpr int kWidth = 40;
    const int filled = lastPercent_ * kWidth / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%%s%s", label_.c_str(), filled,
                 "========================================", kWidth - filled, "", lastPercent_,
                 note_.empty() ? "" : "  ", note_.c_str());
    std::fflush(stderr);
}

void ProgressBar::Finish() {
    if (!enabled_ || finished_) return;
    finished_ = true;
    if (lastPercent_ >= 0) std::fputc('\n', stderr);
}

}  // namespace korvane::cli
