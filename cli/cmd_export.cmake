target_sources(korvane-cli PRIVATE ${CMAKE_CURRENT_LIST_DIR}/export_source.cpp ${CMAKE_CURRENT_LIST_DIR}/sampler_flags.cpp
                                   ${CMAKE_CURRENT_LIST_DIR}/region_selection.cpp)
target_link_libraries(korvane-cli PRIVATE korvane::export korvane::track korvane::regions korvane::cdda
                      korvane::paths korvane::resources)
