#include <clocale>
#include <cstdio>

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    std::puts("softbox: start-up not built yet");
    return 0;
}
