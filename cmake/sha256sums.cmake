# Writes OUTPUT in the format of sha256sum: one "HASH  NAME" line per file
# of FILES (separated by "|"), names without their folder.
string(REPLACE "|" ";" files "${FILES}")
set(lines "")
foreach(file IN LISTS files)
  file(SHA256 "${file}" hash)
  get_filename_component(name "${file}" NAME)
  string(APPEND lines "${hash}  ${name}\n")
endforeach()
file(WRITE "${OUTPUT}" "${lines}")
