# Turns the clip files into one C++ source of byte arrays, so that the binary
# carries its sounds and needs no files at run time.
# Run as: cmake -DOUTPUT=<file.cpp> -DCLIP_DIR=<folder of .wav files>
#                -DCLIP_NAMES=<NAME,NAME,...> -P embed_clips.cmake

string(REPLACE "," ";" CLIP_NAMES "${CLIP_NAMES}")
set(CLIPS "")
foreach(name IN LISTS CLIP_NAMES)
  list(APPEND CLIPS "${CLIP_DIR}/${name}.wav")
endforeach()

set(source "// Generated at build time from resources/sounds; do not edit.\n")
string(APPEND source "#include \"platform/clips/embedded_clips.h\"\n\nnamespace keelmark {\nnamespace {\n")
set(table "")
foreach(clip IN LISTS CLIPS)
  get_filename_component(name "${clip}" NAME_WE)
  file(READ "${clip}" bytes HEX)
  string(LENGTH "${bytes}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
  # Short lines keep compiler diagnostics and diffs of the generated file readable.
  string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
  string(APPEND source "const unsigned char clip${name}[${size}] = {\n${bytes}\n};\n")
  string(APPEND table "    {\"${name}\", clip${name}, ${size}},\n")
endforeach()
string(APPEND source "}  // namespace\n\nconst std::vector<EmbeddedClip>& EmbeddedClips() {\n")
string(APPEND source "  static const std::vector<EmbeddedClip> clips{\n${table}  };\n  return clips;\n}\n\n}  // namespace keelmark\n")
file(WRITE "${OUTPUT}.tmp" "${source}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
