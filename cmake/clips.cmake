# The five clips every build carries, made from the same WAV files, and the
# two ways they get into a binary: C++ byte arrays where the game plays them
# from memory itself, resources of type "SOUND" where the system's sound
# player finds them in the executable.

set(keelmarkClipNames DROP HIT MISS SINK BUZZER)
set(keelmarkClipDir ${CMAKE_CURRENT_LIST_DIR}/../resources/sounds)
cmake_path(NORMAL_PATH keelmarkClipDir)
set(keelmarkClipFiles ${keelmarkClipNames})
list(TRANSFORM keelmarkClipFiles PREPEND ${keelmarkClipDir}/)
list(TRANSFORM keelmarkClipFiles APPEND .wav)
set(keelmarkClipArrayScript ${CMAKE_CURRENT_LIST_DIR}/embed_clips.cmake)
set(keelmarkClipSourceDir ${CMAKE_CURRENT_LIST_DIR}/../platform/clips)
cmake_path(NORMAL_PATH keelmarkClipSourceDir)

# Adds the clips to the target as byte arrays, with FindClip to look them up.
function(keelmark_embed_clips_as_arrays target)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/embedded_clip_data.cpp)
  string(JOIN "," names ${keelmarkClipNames})
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${output} -DCLIP_DIR=${keelmarkClipDir}
            -DCLIP_NAMES=${names} -P ${keelmarkClipArrayScript}
    DEPENDS ${keelmarkClipFiles} ${keelmarkClipArrayScript}
    COMMENT "Embedding the sound clips"
    VERBATIM)
  target_sources(${target} PRIVATE ${output} ${keelmarkClipSourceDir}/embedded_clips.cpp)
endfunction()

# Adds the clips to the executable as resources, from a resource script
# template that names each clip file relative to the clip folder.
function(keelmark_embed_clips_as_resources target template)
  get_filename_component(name ${template} NAME_WLE)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${name})
  configure_file(${template} ${output} @ONLY)
  # The resource compiler is not asked which files a script reads.
  set_source_files_properties(${output} PROPERTIES OBJECT_DEPENDS "${keelmarkClipFiles}")
  target_sources(${target} PRIVATE ${output})
endfunction()
