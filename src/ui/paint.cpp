#include "ui/paint.h"

namespace kelto::ui {

namespace {
constexpr Rgb kUndesignedFace{240, 240, 240};
constexpr Rgb kDarkFaceText{255, 255, 255};
constexpr Rgb kLightFaceText{16, 51, 97};
constexpr Rgb kDarkFaceFrame{4, 72, 160};
constexpr Rgb kLightFaceFrame{160, 170, 185};

bool IsDark(Rgb face) { return (face.r * 299 + face.g * 587 + face.b * 114) / 1000 < 140; }
}  // namespace

Rgb WindowBackground(Rgb designed, bool highContrast, const SystemColours& system) {
    return highContrast ? system.window : designed;
}

LabelPaint LabelColours(std::optional<Rgb> designedText, std::optional<Rgb> designedBackground,
                        Rgb windowBackground, bool highContrast, const SystemColours& system) {
    if (highContrast) return {system.windowText, system.window};
    return {designedText.value_or(system.windowText), designedBackground.value_or(windowBackground)};
}

ButtonPaint ColouredButtonColours(std::optional<Rgb> designedFace, bool disabled, bool highContrast,
                                  const SystemColours& system) {
    const Rgb face = designedFace.value_or(kUndesignedFace);
    if (highContrast) {
        if (disabled) return {system.buttonFace, system.grayText, system.grayText};
        if (IsDark(face)) return {system.highlight, system.highlightText, system.highlightText};
        return {system.buttonFace, system.buttonText, system.buttonText};
    }
    if (disabled) return {system.buttonFace, system.grayText, kLightFaceFrame};
    return IsDark(face) ? ButtonPaint{face, kDarkFaceText, kDarkFaceFrame}
                        : ButtonPaint{face, kLightFaceText, kLightFaceFrame};
}

}  // namespace kelto::ui
