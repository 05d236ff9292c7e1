#pragma once

// The most bytes the link sends or takes off the line at once; a traced frame never holds more.
constexpr int kLinkBufferSize = 4096;
