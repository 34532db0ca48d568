target_link_libraries(korvane-cli PRIVATE korvane::regions korvane::wavread korvane::demo_signal)
