target_sources(framework PRIVATE
  mod/CBinarySerializer.cpp
)
