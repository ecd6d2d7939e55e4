// The two sides of every compare: the older version on the left, the newer one (or the item as it
// is now) on the right. Arrays of two are indexed by them.
#pragma once

enum CompareSide { kOlder, kNewer };
