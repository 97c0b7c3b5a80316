// porute-window-query.exe: what the tests ask of the running window, from
// outside it, through the system's own calls. Waits (up to 60 s) for the
// top-level window of class HenkanPoruteForm1, then:
//   size   prints "client W H at X Y frame L T R B" (client size, client origin
//          on the screen, the whole window's rectangle)
//   close  asks the window to close, as its close box does
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  HWND window = nullptr;
  for (int waited = 0; waited < 600 && window == nullptr; ++waited) {
    window = FindWindowW(L"HenkanPoruteForm1", nullptr);
    if (window == nullptr || !IsWindowVisible(window)) {
      window = nullptr;
      Sleep(100);
    }
  }
  if (window == nullptr) {
    std::fprintf(stderr, "no window\n");
    return 1;
  }
  if (std::strcmp(argv[1], "size") == 0) {
    RECT client{}, frame{};
    POINT origin{0, 0};
    GetClientRect(window, &client);
    ClientToScreen(window, &origin);
    GetWindowRect(window, &frame);
    std::printf("client %ld %ld at %ld %ld frame %ld %ld %ld %ld\n", client.right - client.left,
                client.bottom - client.top, origin.x, origin.y, frame.left, frame.top,
                frame.right, frame.bottom);
    return 0;
  }
  if (std::strcmp(argv[1], "close") == 0) return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
  return 2;
}
