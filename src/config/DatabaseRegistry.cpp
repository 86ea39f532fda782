// Filled by the registry store.
