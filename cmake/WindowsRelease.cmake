# How the shipped programs are built for Windows: the oldest Windows they run on, small,
# and the same bytes from the same commit whatever folder it is built in.

# Windows XP SP3 for x86; x64 began with XP x64 / Server 2003 SP2, which is version 5.2.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ZORPA_WINDOWS_VERSION 0x0502)
  set(ZORPA_WINDOWS_MAJOR 5)
  set(ZORPA_WINDOWS_MINOR 2)
else()
  set(ZORPA_WINDOWS_VERSION 0x0501)
  set(ZORPA_WINDOWS_MAJOR 5)
  set(ZORPA_WINDOWS_MINOR 1)
endif()

if(MINGW)
  # Build folders mapped out of the binaries; the build tree first, as it lies inside the
  # source tree and GCC applies the last matching map given.
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                      -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
  # Built for size (after CMake's -O3, so it wins); each function and datum in its own
  # section, so the linker can drop what nothing uses. It drops data; functions stay, as
  # each object's unwinding tables, which the linker keeps whole, name all of its functions.
  add_compile_options($<$<CONFIG:Release>:-Os> -ffunction-sections -fdata-sections)
  # Standard templates built from the headers into the program: see the header's note. In
  # one word, as CMake drops an option word it has seen before, such as a target's own -include.
  add_compile_options(
    $<$<COMPILE_LANGUAGE:CXX>:--include=${CMAKE_CURRENT_LIST_DIR}/LocalTemplateInstances.h>)
  add_link_options(-Wl,--gc-sections -Wl,--no-insert-timestamp)
endif()

# Pins a shipped program, or a library built into one, to the oldest Windows it supports:
# the headers then hide newer functions and size their structures for that Windows, and
# the program's header says which Windows may load it (newer ones load it unchanged).
# Test programs are left alone: they may use whatever the Windows they run on offers.
function(zorpa_target_oldest_windows target)
  target_compile_definitions(${target} PRIVATE
    _WIN32_WINNT=${ZORPA_WINDOWS_VERSION} WINVER=${ZORPA_WINDOWS_VERSION})
  get_target_property(type ${target} TYPE)
  if(MINGW AND type STREQUAL "EXECUTABLE")
    target_link_options(${target} PRIVATE
      -Wl,--major-subsystem-version,${ZORPA_WINDOWS_MAJOR}
      -Wl,--minor-subsystem-version,${ZORPA_WINDOWS_MINOR}
      -Wl,--major-os-version,${ZORPA_WINDOWS_MAJOR}
      -Wl,--minor-os-version,${ZORPA_WINDOWS_MINOR})
  endif()
endfunction()

# A shipped program is built small and stripped where it is built, so the Wine tests run the
# very bytes the zip holds; the full program, with its symbols, stays in symbols/ for crash
# analysis.
function(zorpa_release_program target)
  if(NOT MINGW)
    return()
  endif()
  # An exception that nothing catches ends the program through abort() either way; the
  # default handler would first print the exception's demangled type to a console that a
  # windowed program does not have, and the demangler is a sixth of the program's size.
  # Two more functions go to abort(): the only calls to each come from the library's bridges
  # to its old string ABI (building a std::random_device, converting an error message), which
  # none of our code is built for, yet each call would bring in a library object with all of
  # std::string's members, about 30 KB on x86. A program that uses std::random_device itself
  # still links the real function.
  # std::size_t is spelt j in x86 symbol names, y in x64 ones.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(symbol_prefix _)
    set(size_t_code j)
  else()
    set(size_t_code y)
  endif()
  foreach(symbol IN ITEMS
          _ZN9__gnu_cxx27__verbose_terminate_handlerEv
          _ZNSt13random_device7_M_initEPKc${size_t_code}
          _ZNSt12__sso_stringC1EPKc${size_t_code})
    target_link_options(${target} PRIVATE
      -Wl,--defsym,${symbol_prefix}${symbol}=${symbol_prefix}abort)
  endforeach()
  # The linker's map goes beside the full program: which library object, or file of ours,
  # each part of the program came from, and what brought it in.
  set(symbols_dir ${CMAKE_BINARY_DIR}/symbols)
  file(MAKE_DIRECTORY ${symbols_dir})
  target_link_options(${target} PRIVATE -Wl,-Map=${symbols_dir}/${target}.map)
  # strip writes the build time into the PE header unless SOURCE_DATE_EPOCH says otherwise:
  # 0 keeps it empty, as the linker leaves it.
  if(CMAKE_STRIP)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${symbols_dir}/
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
              ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${target}>
      VERBATIM)
  endif()
endfunction()

# Every shipped program carries an application manifest as resource 1: asInvoker, so that
# Windows Vista and later do not redirect a write it may not make into the user's
# VirtualStore (it fails with error 5 instead, and the record says so), and the Windows
# versions it was made for. trustInfo in the asm.v2 namespace is the form XP SP3 reads; the
# lock screen declares no DPI awareness (see the README).
function(zorpa_program_manifest target)
  set(manifest_name "Site.${target}")
  set(manifest_dir ${CMAKE_BINARY_DIR}/manifests/${target})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/Program.manifest.in
                 ${manifest_dir}/${target}.manifest @ONLY)
  # 1 is CREATEPROCESS_MANIFEST_RESOURCE_ID, 24 RT_MANIFEST.
  file(CONFIGURE OUTPUT ${manifest_dir}/Manifest.rc
       CONTENT "1 24 \"${target}.manifest\"\n" @ONLY)
  target_sources(${target} PRIVATE ${manifest_dir}/Manifest.rc)
  set_property(SOURCE ${manifest_dir}/Manifest.rc APPEND PROPERTY
               OBJECT_DEPENDS ${manifest_dir}/${target}.manifest)
  target_include_directories(${target} PRIVATE ${manifest_dir})
  if(MSVC)
    # The linker would add a manifest of its own as resource 1 too.
    target_link_options(${target} PRIVATE /MANIFEST:NO)
  endif()
endfunction()
