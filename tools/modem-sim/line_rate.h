// The rate a program has set on the pseudo-terminal: the one line setting
// that shows on the other side (parity does not).
#pragma once

namespace velimo::sim {

// The output rate of the terminal behind fd, or 0 when it cannot be read.
int LineRate(int fd);

}  // namespace velimo::sim
