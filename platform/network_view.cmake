# The live, read-only registry view of the machine's network configuration.
target_sources(ombrix_platform_linux PRIVATE
  registry/NetworkFacts.h
  registry/TextFile.h registry/TextFile.cpp
  registry/RouteNetlink.h registry/RouteNetlink.cpp
  registry/ResolverState.h registry/ResolverState.cpp
  registry/SambaWins.h registry/SambaWins.cpp
  registry/DhcpLeases.h registry/DhcpLeases.cpp
  registry/LiveNetworkView.h registry/LiveNetworkView.cpp)
target_link_libraries(ombrix_platform_linux PUBLIC resolv)
