/** English words that keep their digraphs in Zero-learning (the keyboard engine's own list). */
export const ENGLISH_WORDS: ReadonlySet<string> = new Set([
  "should", "show", "shows", "shown", "shop", "shops", "shot",
  "ship", "shall", "shell", "she", "sheet", "shut", "shy",
  "shift", "share", "sharp", "check", "checks", "chat", "chart",
  "change", "changes", "channel", "charge", "chance", "chair", "cheap",
  "cheese", "chief", "child", "children", "choose", "chose", "church",
  "chip", "chips", "chrome", "much", "such", "each", "which",
  "rich", "teach", "reach", "research", "search", "touch", "push",
  "wash", "fish", "dish", "wish", "english", "finish", "publish",
  "cash", "crash", "flash", "fresh", "brush", "machine", "technology",
  "school", "echo", "anchor", "architecture", "chaos", "character", "chemistry",
  "orchestra", "ghost", "bash", "gnash",
]);
