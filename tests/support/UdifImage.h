#pragma once
// The disk-image builders under the names the tests use.

#include "diskimage/UdifImage.h"

namespace vantor::test {

using diskimage::damageUdifImage;
using diskimage::makeIsoImage;
using diskimage::UdifChunk;
using diskimage::UdifOptions;
using diskimage::writeUdifImage;

}  // namespace vantor::test
