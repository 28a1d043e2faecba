// A one-digit bit field (being written).
#pragma once
