# tapwedge_embed_version(target major minor patch [tweak]): embeds the version record read by
# the version dialog (tapwedge/core/version_record.h) in the program file built for target.
# Empty parts count as 0.
set(TAPWEDGE_VERSION_RECORD_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/version_record.cpp.in)

function(tapwedge_embed_version target major minor patch)
  set(tweak "${ARGV4}")
  foreach(part major minor patch tweak)
    if("${${part}}" STREQUAL "")
      set(${part} 0)
    endif()
    if(NOT "${${part}}" MATCHES "^[0-9]+$" OR "${${part}}" GREATER 65535)
      message(FATAL_ERROR "tapwedge_embed_version: ${part} '${${part}}' is not 0..65535")
    endif()
  endforeach()
  set(VERSION_TARGET ${target})
  set(VERSION_MAJOR ${major})
  set(VERSION_MINOR ${minor})
  set(VERSION_PATCH ${patch})
  set(VERSION_TWEAK ${tweak})
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_record.cpp)
  configure_file(${TAPWEDGE_VERSION_RECORD_TEMPLATE} ${generated} @ONLY)
  target_sources(${target} PRIVATE ${generated})
  # The record's header lives in the program's core.
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tapwedge)
endfunction()
