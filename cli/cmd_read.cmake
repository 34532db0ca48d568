target_link_libraries(korvane-cli PRIVATE korvane::cdda korvane::export)
target_link_libraries(korvane-cli PRIVATE korvane::registry)
