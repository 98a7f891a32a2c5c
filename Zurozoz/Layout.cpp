#include "Layout.h"

namespace Layout {

FormControls Designed() {
    return FormControls{kAnimation, kLabel2, kLabel1};
}

FormControls Form_Resize(const FormControls& controls, float formWidth) {
    FormControls placed = controls;
    placed.Animation.Left = formWidth / 2 - placed.Animation.Width / 2;
    placed.Label1.Left = formWidth / 2 - placed.Label1.Width / 2;
    placed.Label2.Width = formWidth;
    placed.Label2.Left = 0.0f;
    return placed;
}

} // namespace Layout
