# GoogleTest from Debian's sources, built with whichever compiler this build
# uses (the system g++ or MinGW-w64).
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
# GoogleTest's own code is not ours to keep warning-free.
add_subdirectory(${TRIVANDEL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
