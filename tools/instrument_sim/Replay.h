#pragma once
#include "ReplayOptions.h"

// Plays what the instrument sent in a capture (its "in" blocks) onto a port,
// each block whole at its recorded offset from the first divided by the
// speed, answering nothing: a recording from the field drives a host in the
// lab. The host's own blocks ("out") are left out.
// The process exit status: 0 played, 1 the capture cannot be played,
// 2 port trouble.
int RunReplay(const ReplayOptions& options);
