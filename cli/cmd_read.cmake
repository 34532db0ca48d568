target_sources(korvane-cli PRIVATE ${CMAKE_CURRENT_LIST_DIR}/track_pattern.cpp)
target_link_libraries(korvane-cli PRIVATE korvane::cdda korvane::export)
