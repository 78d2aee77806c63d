import { clsx, type ClassValue } from "clsx";
import { extendTailwindMerge } from "tailwind-merge";

// The style sheet's own scales: its type sizes ("text-body", "text-small", …), corner radii
// and shadows. Without being told, the merger takes the sizes for colours and drops one of
// "text-small text-white".
const twMerge = extendTailwindMerge({
  extend: {
    classGroups: {
      "font-size": [{ text: ["title", "heading", "subheading", "body", "body-sm", "small", "caption"] }],
      rounded: [{ rounded: ["card", "control"] }],
      shadow: [{ shadow: ["card", "brand", "brand-sm"] }],
    },
  },
});

export function cn(...inputs: ClassValue[]): string {
  return twMerge(clsx(inputs));
}
