#pragma once

#include "gui/place.h"

using gui::Place;
