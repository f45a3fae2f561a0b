Penum Kind {
    Literal,
    Class,
    Group,
}

struct Span {
    start: usize,
    end: usize,
}

impl Kind {
    fn name(&self) -> &'static str {
        match self {
            Kind::Literal => "literal, }",
            Kind::Class => r#"class, }"#,
            Kind::Group => {
                let s = ',';
                "group"
            }
        }
    }
}
