#include "baked_font.h"

#include "editor_font_data.h"

const BakedFont& editorFont(int scale) noexcept
{
    switch (scale) {
    case 2: return kFont22;
    case 3: return kFont33;
    case 4: return kFont44;
    default: return kFont11;
    }
}
