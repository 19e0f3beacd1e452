// Peer process standing in for a language launcher that never answers: it
// takes any command line, opens no pipe and waits until it is killed.
#include <unistd.h>

int main() {
    for (;;) pause();
}
