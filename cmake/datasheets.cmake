# trimwell_datasheet_images(TARGET OUTPUT_DIR SOURCES...): builds each JSON source
# into OUTPUT_DIR/<name>.sds with trimwell-sds, as part of TARGET (built by default).
# A source named *_bad.json describes a damaged datasheet: it must not decode.
function(trimwell_datasheet_images target output_dir)
  set(images)
  foreach(source ${ARGN})
    get_filename_component(stem ${source} NAME_WE)
    set(image ${output_dir}/${stem}.sds)
    set(meant_invalid)
    if(stem MATCHES "_bad$")
      set(meant_invalid --invalid)
    endif()
    add_custom_command(
      OUTPUT ${image}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
      COMMAND trimwell-sds build ${source} -o ${image} ${meant_invalid}
      DEPENDS trimwell-sds ${source}
      COMMENT "Building datasheet ${stem}.sds"
      VERBATIM)
    list(APPEND images ${image})
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${images})
endfunction()
