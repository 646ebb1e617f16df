// Anchor of the static library that carries the embedded map libraries.
namespace routereel {
int mapLibsAnchor() { return 0; }
}
