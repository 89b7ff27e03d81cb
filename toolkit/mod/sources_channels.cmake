target_sources(framework PRIVATE
  mod/CChannel.cpp
  mod/CFileChannel.cpp
  mod/CBlockChannel.cpp
  mod/CMemoryChannel.cpp
)
