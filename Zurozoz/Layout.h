// Where the lock screen's controls stand for a given window width. Pure arithmetic in
// twips (single precision, as the form's own measures are kept), free of any window code.
#pragma once

namespace Layout {

struct TwipsRect {
    float Left;
    float Top;
    float Width;
    float Height;
};

// The designed places, relative to the client area.
constexpr TwipsRect kAnimation{4320.0f, 3840.0f, 4035.0f, 3015.0f};
constexpr TwipsRect kLabel2{4140.0f, 2580.0f, 4335.0f, 660.0f};
constexpr TwipsRect kLabel1{2160.0f, 540.0f, 8055.0f, 1320.0f};

struct FormControls {
    TwipsRect Animation;
    TwipsRect Label2;
    TwipsRect Label1;
};

// The controls as they stand when the form is first loaded.
FormControls Designed();

// Keeps the texts and the animation centred on the window's outer width: the animation
// and Label1 keep their widths, Label2 spans the whole window. Tops and heights stay,
// and a window narrower than a control gives it a negative Left.
FormControls Form_Resize(const FormControls& controls, float formWidth);

} // namespace Layout
