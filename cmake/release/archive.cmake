# Packs a folder as a .tar.gz or a .zip whose bytes depend on the folder's
# contents alone: entries in name order, every time stamp EPOCH, no owners
# (tar: 0 with no names), modes 755 and 644, and no time stamp, name, owner or
# extra times of the packing tools' own (gzip -n, zip -X).
#   cmake -DFOLDER=dir -DARCHIVE=file.tar.gz|file.zip -DEPOCH=seconds -P archive.cmake
get_filename_component(parent ${FOLDER} DIRECTORY)
get_filename_component(name ${FOLDER} NAME)
# zip stores times as the local time of day: UTC, so the zone does not count.
set(ENV{TZ} UTC)
file(REMOVE ${ARCHIVE})
if(ARCHIVE MATCHES "\\.tar\\.gz$")
  execute_process(
    COMMAND tar --create --format=gnu --sort=name --mtime=@${EPOCH} --owner=0 --group=0
            --numeric-owner --mode=u=rwX,go=rX --file=- ${name}
    COMMAND gzip -9 -n
    WORKING_DIRECTORY ${parent}
    OUTPUT_FILE ${ARCHIVE}
    COMMAND_ERROR_IS_FATAL ANY)
elseif(ARCHIVE MATCHES "\\.zip$")
  # zip takes each file's own time and mode: both are set first. No entries
  # for folders (-D), as Windows' own ZIPs have none.
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${parent} ${FOLDER}/*)
  list(SORT files)
  execute_process(COMMAND chmod -R u=rwX,go=rX ${name}
                  COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${parent})
  execute_process(COMMAND touch -d @${EPOCH} ${files}
                  COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${parent})
  execute_process(COMMAND zip -q -X -D -9 ${ARCHIVE} ${files}
                  COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${parent})
else()
  message(FATAL_ERROR "${ARCHIVE}: neither .tar.gz nor .zip")
endif()
