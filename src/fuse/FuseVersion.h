// The libfuse API level we build against (Debian 12 ships 3.14). Included before <fuse.h>.
#pragma once

#define FUSE_USE_VERSION 312
