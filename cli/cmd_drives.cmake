target_sources(korvane-cli PRIVATE ${CMAKE_CURRENT_LIST_DIR}/cd_session.cpp)
target_link_libraries(korvane-cli PRIVATE korvane::cdda korvane::ui korvane::aspi korvane::hostfiles)
