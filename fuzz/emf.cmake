# EMF reader and player: structure, records, playing onto a small image,
# and the dump's record descriptions.
vorlaxa_fuzz_target(emf_player ${CMAKE_CURRENT_SOURCE_DIR}/emf_player.cpp vorlaxa_platform)
