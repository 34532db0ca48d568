#pragma once
// A one-line progress bar for long commands on stderr; drawn when ProgressWanted()
// (--progress, or by default when stderr is a terminal).
#include <cstdint>
#include <string>

namespace korvane::cli {

class ProgressBar {
public:
    explicit ProgressBar(std::string label);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // fraction runs from 0 to 1; redraws at most once per whole percent.
    void Update(double fraction);
    // A short state shown after the percentage ("pass 2, 3 sectors re-read"); redraws.
    void SetNote(std::string note);
    void Finish();

private:
    void Draw();

    std::string label_;
    std::string note_;
    bool enabled_;
    int lastPercent_ = -1;
    bool finished_ = false;
};

}  // namespace korvane::cli
