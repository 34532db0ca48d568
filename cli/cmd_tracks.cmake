target_sources(korvane-cli PRIVATE ${CMAKE_CURRENT_LIST_DIR}/disc_ids.cpp)
pkg_check_modules(DISCID REQUIRED IMPORTED_TARGET libdiscid)
target_link_libraries(korvane-cli PRIVATE korvane::cdda PkgConfig::DISCID)
