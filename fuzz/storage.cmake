# Page storage: opening and reading saved-report files, and the splay decoder.
vorlaxa_fuzz_target(qrp_open ${CMAKE_CURRENT_SOURCE_DIR}/storage_qrp_open.cpp vorlaxa_storage)
vorlaxa_fuzz_target(splay_decode ${CMAKE_CURRENT_SOURCE_DIR}/storage_splay_decode.cpp
  vorlaxa_storage)
