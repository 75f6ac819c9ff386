#include "baked_font.h"

#include "editor_font_data.h"

const BakedFont& editorFont(int scale) noexcept
{
    return scale == 2 ? kFont22 : kFont11;
}
