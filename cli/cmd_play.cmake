target_link_libraries(korvane-cli PRIVATE korvane::playback korvane::regions korvane::track korvane::cdda
                      korvane::export)
