target_link_libraries(korvane-cli PRIVATE korvane::track korvane::resources)
