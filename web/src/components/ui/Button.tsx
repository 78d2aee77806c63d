import { cva, type VariantProps } from "class-variance-authority";
import type { ComponentProps } from "react";
import { cn } from "../../lib/utils";

export const buttonVariants = cva(
  [
    "inline-flex shrink-0 items-center justify-center gap-2 rounded-lg font-semibold whitespace-nowrap select-none",
    "transition-[transform,box-shadow,filter,background-color,color] duration-100",
    "disabled:pointer-events-none disabled:opacity-50 aria-disabled:pointer-events-none aria-disabled:opacity-50",
    "[&_svg]:pointer-events-none [&_svg]:shrink-0",
  ],
  {
    variants: {
      variant: {
        default: [
          "bg-brand text-white shadow-brand",
          "hover:-translate-y-px hover:brightness-110",
          "active:translate-y-[3px] active:shadow-[0_1px_0_var(--brand-deep)] active:brightness-100",
        ],
        destructive: "bg-destructive/10 text-destructive hover:bg-destructive/15",
        outline: [
          "border border-brand bg-card text-brand shadow-[0_3px_0_var(--accent)]",
          "hover:-translate-y-px active:translate-y-[2px] active:shadow-[0_1px_0_var(--accent)]",
        ],
        secondary: "bg-secondary text-secondary-foreground hover:bg-accent hover:text-accent-foreground",
        ghost: "text-foreground hover:bg-accent hover:text-accent-foreground",
        link: "h-auto px-0 text-brand underline-offset-4 hover:underline",
      },
      size: {
        default: "h-10 px-4 text-body-sm [&_svg]:size-4",
        sm: "h-8 rounded-md px-3 text-small [&_svg]:size-3.5",
        lg: "h-12 px-6 text-body [&_svg]:size-5",
        icon: "size-10 [&_svg]:size-4",
      },
    },
    compoundVariants: [{ variant: "link", className: "h-auto px-0" }],
    defaultVariants: { variant: "default", size: "default" },
  },
);

export type ButtonProps = ComponentProps<"button"> & VariantProps<typeof buttonVariants>;

export function Button({ className, variant, size, type = "button", ...props }: ButtonProps) {
  return <button type={type} className={cn(buttonVariants({ variant, size }), className)} {...props} />;
}
