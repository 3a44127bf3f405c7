# Writes SITE/sw.js from WORKER, the service worker's source, for the files in SITE as they
# are now: their names and one digest of all their bytes, so that a change to any file makes
# a new worker and with it a new cache.
#   cmake -DSITE=FOLDER -DWORKER=service_worker.js -P stamp_site.cmake
file(GLOB names LIST_DIRECTORIES false RELATIVE ${SITE} ${SITE}/*)
list(REMOVE_ITEM names sw.js)
list(SORT names)
set(digests "")
foreach(name IN LISTS names)
    file(SHA256 ${SITE}/${name} digest)
    string(APPEND digests "${name} ${digest}\n")
endforeach()
string(SHA256 digest "${digests}")
string(SUBSTRING ${digest} 0 20 QUILLOP_BUILD)
list(JOIN names " " QUILLOP_FILES)
configure_file(${WORKER} ${SITE}/sw.js @ONLY)
