# The plug-in, its tests, the command-line host and the benchmark.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# qibor.sph must load with nothing beside it: the C and C++ runtimes are
# linked in.
if(MSVC)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
else()
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

# Layered from the bottom up: floor/ (Win32 helpers), tool/ (the work folder
# and the tool's runs), interface/ (records, texts and settings every layer
# shares), probe/, listing/, extract/, requests/ (each request from start to
# answer), and exports/ on top, which calls only requests/.
add_library(qibor_core STATIC
  floor/code_page_text.cpp
  floor/files.cpp
  floor/folder_tree.cpp
  floor/win_path.cpp
  tool/request_lock.cpp
  tool/work_folder.cpp
  tool/captures.cpp
  tool/commands.cpp
  tool/run_tool.cpp
  interface/settings.cpp
  interface/plugin_info.cpp
  interface/ansi_text.cpp
  probe/probe.cpp
  listing/listing.cpp
  listing/listing_cache.cpp
  extract/entry_stream.cpp
  extract/extract_member.cpp
  extract/member_output.cpp
  extract/member_selection.cpp
  extract/read_ahead.cpp
  requests/host_listing.cpp
  requests/check_support.cpp
  requests/list_archive.cpp
  requests/find_member.cpp
  requests/fetch_member.cpp
  requests/module_life.cpp
)
target_link_libraries(qibor_core PUBLIC qibor_pure shlwapi)
qibor_warnings(qibor_core)

enable_language(RC)
configure_file(exports/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/version.rc @ONLY)

add_library(qibor SHARED
  qibor.def
  ${CMAKE_CURRENT_BINARY_DIR}/version.rc
  exports/dllmain.cpp
  exports/exports_wide.cpp
  exports/exports_ansi.cpp
)
target_link_libraries(qibor PRIVATE qibor_core)
# qibor.sph for 64-bit hosts, qibor.spi for 32-bit ones. A 32-bit
# __stdcall function is "_GetFile@24" to the linker: GNU ld is told to match
# the module-definition file's plain names to such symbols and to export them
# plain; MSVC does both by itself.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QIBOR_PLUGIN_SUFFIX ".spi")
  if(NOT MSVC)
    target_link_options(qibor PRIVATE -Wl,--enable-stdcall-fixup -Wl,--kill-at)
  endif()
else()
  set(QIBOR_PLUGIN_SUFFIX ".sph")
endif()
set_target_properties(qibor PROPERTIES PREFIX "" SUFFIX ${QIBOR_PLUGIN_SUFFIX} OUTPUT_NAME qibor)
qibor_warnings(qibor)

add_subdirectory(tools)

# The release package, made from the 64-bit build: both plug-ins (qibor.sph
# for 64-bit viewers, qibor.spi for 32-bit ones), a command-line host for
# each, a commented settings file, the README and the licence, in one zip.
# The 32-bit files come from the 32-bit build's tree, built first.
install(TARGETS qibor RUNTIME DESTINATION . LIBRARY DESTINATION .)
install(TARGETS qibor_host RUNTIME DESTINATION .)
install(FILES dist/qibor.ini README.md LICENSE DESTINATION .)
set(QIBOR_X86_BUILD "" CACHE PATH "The 32-bit build tree whose qibor.spi and qibor_host32.exe join the package")
if(QIBOR_X86_BUILD AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  install(FILES ${QIBOR_X86_BUILD}/qibor.spi ${QIBOR_X86_BUILD}/tools/qibor_host32.exe DESTINATION .)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME qibor)
set(CPACK_PACKAGE_FILE_NAME qibor-${PROJECT_VERSION}-windows)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
if(QIBOR_BUILD_TESTS)
  add_subdirectory(tests)
endif()
# The benchmark measures the 64-bit build.
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/bench/CMakeLists.txt AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_subdirectory(bench)
endif()
