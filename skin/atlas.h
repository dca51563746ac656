// Builds the skin atlas: a 9 x 84 bitmap in the screen's format, painted pixel
// by pixel from the atlas table, selected into the memory DC AtlasDC.
#pragma once

void BuildSkinAtlas();
