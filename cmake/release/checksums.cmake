# Writes DIR/SHA256SUMS over FILES (names in DIR), in name order, in the
# form `sha256sum -c SHA256SUMS` reads: the hash, two blanks, the name.
#   cmake -DDIR=dir "-DFILES=a;b" -P checksums.cmake
list(SORT FILES)
set(sums "")
foreach(name IN LISTS FILES)
  file(SHA256 ${DIR}/${name} hash)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE ${DIR}/SHA256SUMS "${sums}")
