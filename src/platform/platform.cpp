// Placeholder translation unit so the platform library exists before its services do.
