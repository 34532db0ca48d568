target_link_libraries(korvane-cli PRIVATE korvane::regions korvane::track korvane::cdda korvane::demo_signal)
