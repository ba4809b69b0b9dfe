# Tracker module playback through libmikmod, as a static library of its own that the
# player links. Included by player/CMakeLists.txt (and by the tracker tests and benchmarks
# when the player folder does not include it).
find_package(PkgConfig REQUIRED)
# The shared libmikmod: its static archive is not position-independent.
pkg_check_modules(MIKMOD REQUIRED IMPORTED_TARGET libmikmod)

add_library(orvox_tracker STATIC
  ${CMAKE_CURRENT_LIST_DIR}/tracker.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tracker_driver.cpp)
target_include_directories(orvox_tracker PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(orvox_tracker PUBLIC PkgConfig::MIKMOD a5platform PRIVATE a5_file_open)
a5_warnings(orvox_tracker)
